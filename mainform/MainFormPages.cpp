// The pages: page changes and their gates, port names, the connection choices, the USB
// serial ports, the About page and help.
#include "mainform/MainForm.h"

#include "comms/SerialPorts.h"
#include "controls/Controls.h"
#include "controls/PageControl.h"
#include "mainform/pages/AboutPage.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/ConfigurationPage.h"
#include "mainform/pages/DiagnosticsPage.h"
#include "mainform/pages/HubSettingsPage.h"
#include "mainform/pages/OverviewPage.h"
#include "mainform/pages/PortPage.h"
#include "mainform/pages/WindowFrame.h"

#include <QUrl>

using namespace ConfigConst;

void TForm1::PageControl1Change(TComponent *)
{
    PortTab = false;
    TTabSheet *page = Frame->PageControl1->ActivePage();
    for (int n = 1; n <= 4; ++n) {
        if (page != Ports[static_cast<size_t>(n - 1)]->Sheet)
            continue;
        const int16_t a = ActiveQuorvaneinLink[static_cast<size_t>(n - 1)];
        ActiveQuorvane = static_cast<int16_t>(a + 100 * (n - 1));
        SetCaption(QStringLiteral("Quorvane Selected: %1 Link: %2 Address: %3").arg(ActiveQuorvane).arg(n).arg(a));
        PortCommon->Label61->SetParent(page);
        PortCommon->Label61->SetCaption(QStringLiteral("Quorvane Selected: %1 : %2").arg(n).arg(a));
        PortTab = true;
    }
    if (page == Config->Configuration)
        PortCommon->Label61->SetParent(Config->Configuration);
    if (page == Overview->TabSheet8) {
        RegisterMap::Read read = ReadOf(RegisterMap::Handle::IdentText);
        read.rate = IdentRateFromPage;
        DefineRead(read);
        StartIdentRead();
    }
    SettingRange = false;
    VKHSettingsTab = page == HubSettings->TabSheet1;
}

void TForm1::PageControl1MouseDown(TComponent *, Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    const int index = Frame->PageControl1->ActivePageIndex();
    if (Button != Qt::RightButton || index < 2 || index > 5)
        return;
    const auto n = static_cast<size_t>(index - 2);
    const QString answer = InputBox(QStringLiteral("EnterDescription"), QStringLiteral("What do you want the port to be called?"),
                                    Ports[n]->Sheet->Caption())
                               .left(PortNameMaxLength);
    PortTabDesc[n] = answer;
    Ports[n]->Sheet->SetCaption(answer);
    TIniFileStore::Values names;
    for (int i = 1; i <= 4; ++i)
        names.emplace_back(QStringLiteral("Port %1").arg(i), PortTabDesc[static_cast<size_t>(i - 1)]);
    OvcIniFileStore1.WriteStrings(QStringLiteral("Port Descriptions"), names);
}

void TForm1::RadioButton1Click(TComponent *)
{
    ListUsbSerialPorts();
    const bool unit1 = Comms->RadioButton1->Checked();
    const bool unit2 = Comms->RadioButton3->Checked();
    const bool rtu = Comms->RadioButton2->Checked();
    for (TControl *c : std::initializer_list<TControl *>{Comms->Edit1, Comms->Edit2, Comms->Edit3, Comms->Edit4, Comms->Edit16, Comms->Label95})
        c->SetVisible(unit1);
    Comms->Edit5->SetVisible(unit1 || unit2);
    Comms->Label2->SetVisible(unit1 || unit2);
    for (TControl *c : std::initializer_list<TControl *>{Comms->Edit7, Comms->Edit8, Comms->Edit9, Comms->Edit10, Comms->Edit25, Comms->Label96})
        c->SetVisible(unit2);
    for (TControl *c : std::initializer_list<TControl *>{Comms->Edit6, Comms->Label3, Comms->Memo2, Comms->Label59, Comms->Label62})
        c->SetVisible(rtu);
}

void TForm1::ListUsbSerialPorts()
{
    Comms->Memo2->Clear();
    for (const QString &port : SerialPorts::UsbSerialComPorts())
        Comms->Memo2->Add(port);
}

void TForm1::Memo2DblClick(TComponent *)
{
    const int line = Comms->Memo2->CaretLine();
    const QString text = line >= 0 && line < Comms->Memo2->Count() ? Comms->Memo2->Lines().at(line) : QString();
    Comms->Edit6->SetText(text.mid(ComPortPrefixLength));
}

void TForm1::Label132Click(TComponent *) { Diagnostics->TabSheet2->SetTabVisible(!Diagnostics->TabSheet2->TabVisible()); }

void TForm1::Label52Click(TComponent *) { shell_.Open(About->Label52->Caption()); }

void TForm1::ShowHelp(int HelpContext, const QString &HelpKeyword)
{
    QUrl url = QUrl::fromLocalFile(HelpFile);
    url.setFragment(HelpKeyword.isEmpty() ? QStringLiteral("context-%1").arg(HelpContext) : HelpKeyword);
    shell_.Open(url.toString());
}
