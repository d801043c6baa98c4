// The pages: page changes and their gates, port names, the connection choices, the USB
// serial ports, the About page and help.
#include "mainform/MainForm.h"

#include "comms/SerialPorts.h"

#include <QUrl>

using namespace ConfigConst;

void TForm1::PageControl1Change(TComponent *)
{
    PortTab = false;
    TTabSheet *page = PageControl1->ActivePage();
    for (int n = 1; n <= 4; ++n) {
        if (page != PortPages[static_cast<size_t>(n - 1)])
            continue;
        const int16_t a = ActiveQuorvaneinLink[static_cast<size_t>(n - 1)];
        ActiveQuorvane = static_cast<int16_t>(a + 100 * (n - 1));
        SetCaption(QStringLiteral("Quorvane Selected: %1 Link: %2 Address: %3").arg(ActiveQuorvane).arg(n).arg(a));
        Label61->SetParent(page);
        Label61->SetCaption(QStringLiteral("Quorvane Selected: %1 : %2").arg(n).arg(a));
        PortTab = true;
    }
    if (page == Configuration)
        Label61->SetParent(Configuration);
    if (page == TabSheet8) {
        Mbaxp1.ReadHoldingRegisters(10, HubUnit, 8999, 15, 600000);
        Mbaxp1.UpdateOnce(10);
    }
    SettingRange = false;
    VKHSettingsTab = page == TabSheet1;
}

void TForm1::PageControl1MouseDown(TComponent *, Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    const int index = PageControl1->ActivePageIndex();
    if (Button != Qt::RightButton || index < 2 || index > 5)
        return;
    const auto n = static_cast<size_t>(index - 2);
    const QString answer = InputBox(QStringLiteral("EnterDescription"), QStringLiteral("What do you want the port to be called?"),
                                    PortPages[n]->Caption())
                               .left(PortNameMaxLength);
    PortTabDesc[n] = answer;
    PortPages[n]->SetCaption(answer);
    for (int i = 1; i <= 4; ++i)
        OvcIniFileStore1.WriteString(QStringLiteral("Port Descriptions"), QStringLiteral("Port %1").arg(i),
                                     PortTabDesc[static_cast<size_t>(i - 1)]);
}

void TForm1::RadioButton1Click(TComponent *)
{
    ListUsbSerialPorts();
    const bool unit1 = RadioButton1->Checked();
    const bool unit2 = RadioButton3->Checked();
    const bool rtu = RadioButton2->Checked();
    for (TControl *c : std::initializer_list<TControl *>{Edit1, Edit2, Edit3, Edit4, Edit16, Label95})
        c->SetVisible(unit1);
    Edit5->SetVisible(unit1 || unit2);
    Label2->SetVisible(unit1 || unit2);
    for (TControl *c : std::initializer_list<TControl *>{Edit7, Edit8, Edit9, Edit10, Edit25, Label96})
        c->SetVisible(unit2);
    for (TControl *c : std::initializer_list<TControl *>{Edit6, Label3, Memo2, Label59, Label62})
        c->SetVisible(rtu);
}

void TForm1::ListUsbSerialPorts()
{
    Memo2->Clear();
    for (const QString &port : SerialPorts::UsbSerialComPorts())
        Memo2->Add(port);
}

void TForm1::Memo2DblClick(TComponent *)
{
    const int line = Memo2->CaretLine();
    const QString text = line >= 0 && line < Memo2->Count() ? Memo2->Lines().at(line) : QString();
    Edit6->SetText(text.mid(ComPortPrefixLength));
}

void TForm1::Label132Click(TComponent *) { TabSheet2->SetTabVisible(!TabSheet2->TabVisible()); }

void TForm1::Label52Click(TComponent *) { shell_.Open(Label52->Caption()); }

void TForm1::ShowHelp(int HelpContext, const QString &HelpKeyword)
{
    QUrl url = QUrl::fromLocalFile(HelpFile);
    url.setFragment(HelpKeyword.isEmpty() ? QStringLiteral("context-%1").arg(HelpContext) : HelpKeyword);
    shell_.Open(url.toString());
}
