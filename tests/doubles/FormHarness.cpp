#include "FormHarness.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace TestEnvironment {
namespace {
QTemporaryDir &DataDir()
{
    static QTemporaryDir dir;
    return dir;
}
} // namespace

void Init()
{
    qputenv("XDG_DATA_HOME", DataDir().path().toUtf8());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    Q_ASSERT(TUtilities::CommonAppDataPath() == DataDir().path());
}

QString DataFolder() { return DataDir().path(); }

QString ResetDataFolder(bool withProjectsFolder)
{
    QDir dir(DataFolder());
    for (const QString &entry : dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System | QDir::Hidden)) {
        QFileInfo info(dir.filePath(entry));
        if (info.isDir() && !info.isSymLink()) {
            QFile::setPermissions(info.filePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QDir(info.filePath()).removeRecursively();
        } else {
            QFile::remove(info.filePath());
        }
    }
    if (withProjectsFolder)
        dir.mkdir(QStringLiteral("VelkarHubProjects"));
    return DataFolder();
}

QStringList LogTexts(const TForm1 &form)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{1,3} : "));
    QStringList texts;
    for (QString line : form.Diagnostics->Memo4->Lines())
        texts << line.remove(stamp);
    return texts;
}
} // namespace TestEnvironment

namespace TestUi {
void ClickTab(TForm1 &form, TTabSheet *page, Qt::MouseButton button)
{
    QTabBar *bar = form.Frame->PageControl1->Tabs()->tabBar();
    QTest::mouseClick(bar, button, {}, bar->tabRect(page->PageIndex()).center());
}

void Click(TControl *control, Qt::MouseButton button)
{
    QTest::mouseClick(control->Widget(), button, {}, QPoint(8, control->Widget()->height() / 2));
}

void ClickItem(TRadioGroup *group, int index)
{
    auto *item = group->Widget()->findChild<QRadioButton *>(group->Name() + QStringLiteral("_item%1").arg(index));
    Q_ASSERT(item);
    QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
}

void TypeAndLeave(TEdit *edit, const std::optional<QString> &typed, TControl *next)
{
    edit->Widget()->setFocus();
    if (typed) {
        edit->LineEdit()->selectAll();
        QTest::keyClick(edit->Widget(), Qt::Key_Delete);
        QTest::keyClicks(edit->Widget(), *typed);
    }
    next->Widget()->setFocus();
    FormHarness::ProcessEvents();
}
} // namespace TestUi

FormHarness::FormHarness() : FormHarness(Options{}) {}

FormHarness::FormHarness(const Options &options)
{
    if (options.resetDataFolder)
        TestEnvironment::ResetDataFolder(options.projectsFolder);
    if (!options.settingsIni.isEmpty()) {
        QFile ini(TestEnvironment::DataFolder() + QStringLiteral("/VelkarHubProjects/Settings.ini"));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(options.settingsIni.toLatin1());
    }
    if (options.modbusErrors && !options.modbusErrorsText.isEmpty()) {
        QFile errors(programFolder.path() + QStringLiteral("/ModbusErrors.txt"));
        if (errors.open(QIODevice::WriteOnly))
            errors.write(options.modbusErrorsText.toUtf8());
    } else if (options.modbusErrors)
        QFile::copy(qEnvironmentVariable("VELKARHUB_SOURCE_DIR") + QStringLiteral("/comms/ModbusErrors.txt"),
                    programFolder.path() + QStringLiteral("/ModbusErrors.txt"));
    form_ = std::make_unique<TForm1>(TFormEnvironment{control, dialogs, shell, clock, spreadsheets, programFolder.path() + QLatin1Char('/')});
    if (options.show)
        Show();
}

FormHarness::~FormHarness() { Destroy(); }

void FormHarness::Show()
{
    form_->Show();
    if (!QTest::qWaitForWindowExposed(form_->Window()))
        qWarning("window not exposed");
    ProcessEvents();
}

void FormHarness::Destroy() { form_.reset(); }

void FormHarness::ProcessEvents()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}
