// The settings-file group of the communications page: "Save", "Load" and "To Excel".
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "controls/PageControl.h"
#include "mainform/Layout.h"
#include "mainform/pages/CommsPage.h"

using Layout::Add;

namespace {
constexpr int CommsPageHelpContext = 5000;
}

void TForm1::BuildCommsSettingsFile(QBoxLayout *column)
{
    Comms->SettingsFile = new TGroupBox(this, QStringLiteral("SettingsFile"), Comms->TabSheet7, QStringLiteral("Settings file"));
    Comms->SettingsFile->HelpKeyword = QStringLiteral("Modbus_Related");
    auto *row = Layout::HBox(Comms->SettingsFile);
    const struct {
        TButton *CommsPage::*button;
        const char *name;
        const char *caption;
        void (TForm1::*handler)(TComponent *);
    } buttons[] = {
        {&CommsPage::Button25, "Button25", "Save", &TForm1::Button25Click},
        {&CommsPage::Button26, "Button26", "Load", &TForm1::Button26Click},
        {&CommsPage::Button41, "Button41", "To Excel", &TForm1::Button41Click},
    };
    for (const auto &b : buttons) {
        auto *button = new TButton(this, QString::fromLatin1(b.name), Comms->SettingsFile, QString::fromLatin1(b.caption));
        button->HelpContext = CommsPageHelpContext;
        button->HelpKeyword = QStringLiteral("Modbus_Related");
        button->OnClick = [this, handler = b.handler](TComponent *s) { (this->*handler)(s); };
        (*Comms).*b.button = button;
        Add(row, button);
    }
    row->addStretch(1);
    Add(column, Comms->SettingsFile);
}
