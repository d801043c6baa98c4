#pragma once
// The About page.
class TImage;
class TLabel;
class TTabSheet;

struct AboutPage {
    TTabSheet *TabSheet6 = nullptr;
    TImage *Image1 = nullptr;    // the logo: opens the web page
    TLabel *Label52 = nullptr;   // the web address
    TLabel *Label57 = nullptr;   // the maker
    TLabel *Label60 = nullptr;   // "Application version: "
    TLabel *Label130 = nullptr;  // "Running From: "
    TLabel *Label132 = nullptr;  // "Application Diagnostics": shows or hides the Diagnostics tab
    TLabel *Label124 = nullptr;  // the firmware this version was made for
};
