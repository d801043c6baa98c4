// velkarhub-calc-helper: one spreadsheet application object of the program, served by
// LibreOffice Calc over UNO. The program starts one helper per application object and
// talks to it through stdin and stdout in the framing of OfficeProtocol.h.
//
// The helper reaches the office through a named pipe; when nothing answers there it
// launches soffice accepting on that pipe and keeps trying until a deadline (the UNO
// bootstrap of the SDK would wait forever for an office that never answers). Every load
// passes an interaction handler that aborts each request, so no office dialog can hold a
// call. A workbook is opened as a template: an untitled copy that takes no lock and
// cannot overwrite the file. Cells are set as text, never parsed as formulas. The helper
// never saves or closes a document and never ends the office: at the end of its input it
// leaves everything open as it is.
//
//   velkarhub-calc-helper [--soffice PATH] [--pipe NAME] [--profile URL] [--headless]
//                         [--connect-ms N]
#include "office/OfficeProtocol.h"

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <cppuhelper/implbase1.hxx>
#include <osl/file.hxx>
#include <osl/process.h>
#include <rtl/ref.hxx>
#include <rtl/ustring.hxx>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// ---- texts ----------------------------------------------------------------------------

rtl::OUString FromUtf8(const std::string &text)
{
    return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

std::string ToUtf8(const rtl::OUString &text)
{
    const rtl::OString bytes = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(bytes.getStr(), static_cast<size_t>(bytes.getLength()));
}

// What the UNO exception being handled is: its type and its message. Called only
// within a catch block.
std::string DescribeCaught()
{
    const Any caught = cppu::getCaughtException();
    std::string text = ToUtf8(caught.getValueTypeName());
    css::uno::Exception e;
    if ((caught >>= e) && !e.Message.isEmpty())
        text += ": " + ToUtf8(e.Message);
    return text;
}

// A line of diagnostics on stderr (the program keeps the last for its failure messages).
void Note(const std::string &text) { std::fprintf(stderr, "velkarhub-calc-helper: %s\n", text.c_str()); }

long long ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// A failure that the helper reports as it is.
struct Failure {
    std::string message;
};

// ---- the protocol channel ---------------------------------------------------------------

// The protocol uses private copies of stdin and stdout; the standard descriptors then
// point elsewhere, so that nothing the UNO libraries print can break the framing and no
// child process inherits the channel.
class Channel {
public:
    Channel()
    {
        in_ = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
        out_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
            close(devNull);
        }
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    bool Valid() const { return in_ >= 0 && out_ >= 0; }

    // The next request; nothing at the end of the input or on a broken stream.
    std::optional<OfficeProtocol::Message> Receive()
    {
        try {
            for (;;) {
                if (auto message = decoder_.Next())
                    return message;
                char buffer[65536];
                const ssize_t got = read(in_, buffer, sizeof buffer);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return std::nullopt;
                decoder_.Feed(buffer, static_cast<size_t>(got));
            }
        } catch (const OfficeProtocol::FramingError &e) {
            Note(e.what());
            return std::nullopt;
        }
    }

    bool Send(const OfficeProtocol::Message &message)
    {
        const std::string bytes = OfficeProtocol::Encode(message);
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = write(out_, bytes.data() + done, bytes.size() - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += static_cast<size_t>(put);
        }
        return true;
    }

private:
    int in_ = -1;
    int out_ = -1;
    OfficeProtocol::Decoder decoder_;
};

// ---- options ----------------------------------------------------------------------------

struct Options {
    std::string soffice = VELKARHUB_LO_PROGRAM_DIR "/soffice";
    std::string pipe = "velkarhub_calc";
    std::string profile; // a file URL; empty: the user's own office profile
    bool headless = false;
    int connectMs = 45000;
};

Options ParseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--soffice" && hasValue)
            options.soffice = argv[++i];
        else if (arg == "--pipe" && hasValue)
            options.pipe = argv[++i];
        else if (arg == "--profile" && hasValue)
            options.profile = argv[++i];
        else if (arg == "--headless")
            options.headless = true;
        else if (arg == "--connect-ms" && hasValue)
            options.connectMs = std::max(0, std::atoi(argv[++i]));
        else
            Note("ignored argument " + arg);
    }
    return options;
}

// ---- the office process -----------------------------------------------------------------

// Starts soffice in a session of its own (so it outlives the helper and no terminal
// signal of the program reaches it), with no standard descriptors of ours. Returns its
// process id, which is also its process group.
pid_t LaunchOffice(const Options &options)
{
    std::vector<std::string> args = {
        options.soffice,
        "--accept=pipe,name=" + options.pipe + ";urp;StarOffice.ComponentContext",
        "--nologo", "--nodefault", "--norestore", "--nolockcheck",
    };
    if (options.headless)
        args.push_back("--headless");
    if (!options.profile.empty())
        args.push_back("-env:UserInstallation=" + options.profile);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw Failure{"LibreOffice could not be started (" + options.soffice + "): " + std::strerror(failed)};
    return pid;
}

// ---- the aborting interaction handler --------------------------------------------------

// Answers every request of the office (a missing file, a lock, a filter question, a
// macro warning) with its abort continuation, and remembers what was asked.
class AbortingInteractionHandler : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    void SAL_CALL handle(const Reference<css::task::XInteractionRequest> &request) override
    {
        lastRequest_ = request->getRequest().getValueTypeName();
        css::uno::Exception reason;
        if (request->getRequest() >>= reason)
            if (!reason.Message.isEmpty())
                lastRequest_ += ": " + reason.Message;
        const Sequence<Reference<css::task::XInteractionContinuation>> continuations = request->getContinuations();
        for (const auto &continuation : continuations) {
            Reference<css::task::XInteractionAbort> abort(continuation, UNO_QUERY);
            if (abort.is()) {
                abort->select();
                return;
            }
        }
    }
    // What the office asked last, and forgets it.
    rtl::OUString TakeLastRequest()
    {
        rtl::OUString request = lastRequest_;
        lastRequest_.clear();
        return request;
    }

private:
    rtl::OUString lastRequest_;
};

css::beans::PropertyValue Property(const char *name, const Any &value)
{
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

// ---- the application object ---------------------------------------------------------

class Application {
public:
    explicit Application(const Options &options) : options_(options) {}

    // Connects to the office on the pipe, launching it when nothing answers, until the
    // deadline. Returns the process group of a launched office, 0 when it was running.
    pid_t Start()
    {
        const auto started = std::chrono::steady_clock::now();
        const auto deadline = started + std::chrono::milliseconds(options_.connectMs);
        Reference<css::uno::XComponentContext> local;
        try {
            local = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const css::uno::Exception &) {
            throw Failure{"the UNO runtime could not be started: " + DescribeCaught()};
        }
        const Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(local);
        const rtl::OUString url = FromUtf8("uno:pipe,name=" + options_.pipe + ";urp;StarOffice.ComponentContext");
        pid_t office = 0;
        std::string lastFailure;
        for (;;) {
            try {
                Reference<css::uno::XComponentContext> remote(resolver->resolve(url), UNO_QUERY_THROW);
                desktop_ = css::frame::Desktop::create(remote);
                Note("reached the office after " + std::to_string(ElapsedMs(started)) + " ms");
                return office;
            } catch (const css::uno::Exception &) {
                // Nothing on the pipe yet, or an office still starting or shutting down.
                lastFailure = DescribeCaught();
            }
            if (office == 0) {
                office = LaunchOffice(options_);
                Note("launched " + options_.soffice + " as process " + std::to_string(office));
            } else
                ReapOffice(office);
            if (std::chrono::steady_clock::now() >= deadline)
                throw Failure{"LibreOffice did not answer within " + std::to_string(options_.connectMs) +
                              " ms (" + lastFailure + ")" + officeExit_};
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    OfficeProtocol::Message Visible(bool visible)
    {
        visible_ = visible;
        // Fails at once where the office has gone.
        desktop_->getCurrentComponent();
        if (model_.is())
            ShowWindow();
        return {"ok"};
    }

    OfficeProtocol::Message Open(const std::string &path)
    {
        rtl::OUString fileUrl;
        rtl::OUString workingDir;
        osl_getProcessWorkingDir(&workingDir.pData);
        if (osl::FileBase::getFileURLFromSystemPath(FromUtf8(path), fileUrl) != osl::FileBase::E_None ||
            osl::FileBase::getAbsoluteFileURL(workingDir, fileUrl, fileUrl) != osl::FileBase::E_None)
            throw Failure{"not a valid file name: " + path};
        // Held by its implementation (the office keeps only a counted reference of its own).
        const rtl::Reference<AbortingInteractionHandler> handler(new AbortingInteractionHandler);
        const css::beans::PropertyValue propertyList[] = {
            Property("Hidden", Any(!visible_)),
            Property("AsTemplate", Any(true)),
            Property("InteractionHandler", Any(Reference<css::task::XInteractionHandler>(handler.get()))),
            Property("MacroExecutionMode", Any(sal_Int16(0))), // never run a macro
            Property("UpdateDocMode", Any(sal_Int16(0))),      // never update links
        };
        const Sequence<css::beans::PropertyValue> properties(propertyList, std::size(propertyList));
        Reference<css::lang::XComponent> component;
        try {
            const Reference<css::frame::XComponentLoader> loader(desktop_, UNO_QUERY_THROW);
            component = loader->loadComponentFromURL(fileUrl, "_blank", 0, properties);
        } catch (const css::uno::Exception &) {
            throw Failure{"the workbook " + path + " could not be opened: " + DescribeCaught() + Asked(*handler)};
        }
        if (!component.is())
            throw Failure{"the workbook " + path + " was refused" + Asked(*handler)};
        const Reference<css::frame::XModel> model(component, UNO_QUERY);
        const Reference<css::sheet::XSpreadsheetView> view(
            model.is() ? model->getCurrentController() : Reference<css::frame::XController>(), UNO_QUERY);
        if (!view.is())
            throw Failure{path + " did not open as a spreadsheet"};
        model_ = model;
        if (visible_)
            ShowWindow();
        return {"ok"};
    }

    OfficeProtocol::Message Cell(const std::string &row, const std::string &column, const std::string &text)
    {
        const Reference<css::text::XText> cell(CellAt(row, column), UNO_QUERY_THROW);
        cell->setString(FromUtf8(text));
        return {"ok"};
    }

    OfficeProtocol::Message Read(const std::string &row, const std::string &column)
    {
        const Reference<css::table::XCell> cell = CellAt(row, column);
        const Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
        const char *kind = "empty";
        switch (cell->getType()) {
        case css::table::CellContentType_VALUE: kind = "value"; break;
        case css::table::CellContentType_TEXT: kind = "text"; break;
        case css::table::CellContentType_FORMULA: kind = "formula"; break;
        default: break;
        }
        return {"ok", ToUtf8(text->getString()), kind};
    }

    OfficeProtocol::Message Document()
    {
        if (!model_.is())
            throw Failure{"no workbook is open"};
        const Reference<css::util::XModifiable> modifiable(model_, UNO_QUERY_THROW);
        const Reference<css::awt::XWindow2> window(
            model_->getCurrentController()->getFrame()->getContainerWindow(), UNO_QUERY_THROW);
        return {"ok", ToUtf8(model_->getURL()), modifiable->isModified() ? "1" : "0", window->isVisible() ? "1" : "0"};
    }

    // Collects the exit of a launched office that has ended, for the failure message.
    void ReapOffice(pid_t office)
    {
        int status = 0;
        if (officeExit_.empty() && waitpid(office, &status, WNOHANG) == office) {
            if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
                officeExit_ = "; soffice ended with exit code " + std::to_string(WEXITSTATUS(status));
            else if (WIFSIGNALED(status))
                officeExit_ = "; soffice ended by signal " + std::to_string(WTERMSIG(status));
        }
    }

private:
    static std::string Asked(AbortingInteractionHandler &handler)
    {
        const rtl::OUString request = handler.TakeLastRequest();
        return request.isEmpty() ? std::string() : " (the office asked: " + ToUtf8(request) + ")";
    }

    static sal_Int32 Index(const std::string &text, const char *what)
    {
        size_t used = 0;
        long value = 0;
        try {
            value = std::stol(text, &used);
        } catch (const std::exception &) {
            used = 0;
        }
        if (used != text.size() || value < 1 || value > 1048576)
            throw Failure{std::string("not a valid ") + what + " number: " + text};
        return static_cast<sal_Int32>(value - 1);
    }

    // The cell of the active sheet of the workbook, looked up anew: the operator may have
    // activated another sheet meanwhile.
    Reference<css::table::XCell> CellAt(const std::string &row, const std::string &column)
    {
        const sal_Int32 r = Index(row, "row");
        const sal_Int32 c = Index(column, "column");
        if (!model_.is())
            throw Failure{"no workbook is open"};
        const Reference<css::sheet::XSpreadsheetView> view(model_->getCurrentController(), UNO_QUERY);
        if (!view.is())
            throw Failure{"the workbook has no sheet view (closed?)"};
        const Reference<css::sheet::XSpreadsheet> sheet = view->getActiveSheet();
        if (!sheet.is())
            throw Failure{"the workbook has no active sheet"};
        return sheet->getCellByPosition(c, r);
    }

    void ShowWindow()
    {
        const Reference<css::frame::XController> controller = model_->getCurrentController();
        if (!controller.is())
            return;
        const Reference<css::awt::XWindow> window = controller->getFrame()->getContainerWindow();
        window->setVisible(visible_);
        if (visible_) {
            const Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
            if (top.is())
                top->toFront();
        }
    }

    Options options_;
    Reference<css::frame::XDesktop2> desktop_;
    Reference<css::frame::XModel> model_;
    bool visible_ = false;
    std::string officeExit_;
};

OfficeProtocol::Message Serve(Application &application, const OfficeProtocol::Message &request)
{
    const std::string &name = request.empty() ? std::string() : request[0];
    const size_t n = request.size();
    if (name == "visible" && n == 2)
        return application.Visible(request[1] == "1");
    if (name == "open" && n == 2)
        return application.Open(request[1]);
    if (name == "cell" && n == 4)
        return application.Cell(request[1], request[2], request[3]);
    if (name == "read" && n == 3)
        return application.Read(request[1], request[2]);
    if (name == "document" && n == 1)
        return application.Document();
    throw Failure{"unknown request " + name + " with " + std::to_string(n) + " texts"};
}

// Runs one step and turns every failure into an error reply.
template <typename Step>
OfficeProtocol::Message Guarded(Step step)
{
    try {
        return step();
    } catch (const Failure &f) {
        return {"error", f.message};
    } catch (const css::uno::Exception &) {
        return {"error", DescribeCaught()};
    } catch (const std::exception &e) {
        return {"error", e.what()};
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    Channel channel;
    if (!channel.Valid())
        return 2;
    // The office's bootstrap files: the runtime of the office this helper was built for.
    setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" VELKARHUB_LO_PROGRAM_DIR "/fundamentalrc", 0);
    Application application(ParseOptions(argc, argv));
    const OfficeProtocol::Message ready = Guarded([&]() -> OfficeProtocol::Message {
        return {"ok", std::to_string(application.Start())};
    });
    if (!channel.Send(ready) || ready[0] != "ok")
        _exit(1);
    while (const auto request = channel.Receive()) {
        if (!channel.Send(Guarded([&] { return Serve(application, *request); })))
            break;
    }
    // Leaves the office and its documents as they are; no teardown that could wait on it.
    std::fflush(stderr);
    _exit(0);
}
