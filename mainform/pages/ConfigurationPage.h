#pragma once
// The configuration page: the configuration window of the selected starter.
class TTabSheet;

struct ConfigurationPage {
    TTabSheet *Configuration = nullptr;
};
