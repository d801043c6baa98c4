// The helper class's file operations: the MD5 digest of a file, copying with renaming
// on collision, and moving to the desktop's trash.
#include "utilities/Utilities1.h"

#include "utilities/DataFolder.h"
#include "utilities/Exceptions.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

fs::path NativePath(const QString &path) { return fs::path(QFile::encodeName(path).toStdString()); }

// Whether anything (also a dangling link) stands at path.
bool Exists(const fs::path &path)
{
    std::error_code error;
    const fs::file_type type = fs::symlink_status(path, error).type();
    return type != fs::file_type::not_found && type != fs::file_type::none;
}

// A list of names as the shell's file operations take it: separated by zero
// characters, empty entries (the closing zeros) ignored.
QStringList NameList(const QString &names)
{
    return names.split(QChar(0), Qt::SkipEmptyParts);
}

QStringList NameList(const QByteArray &names)
{
    QStringList list;
    for (const QByteArray &name : names.split('\0'))
        if (!name.isEmpty())
            list << QFile::decodeName(name);
    return list;
}

// The absolute path of name: its folder's real path and its own last part, so that a
// link is named itself and not its target. Empty for names without a last part of
// their own ("/", ".", "..").
QString AbsoluteName(const QString &name)
{
    QString path = name;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QFileInfo info(path);
    const QString last = info.fileName();
    if (last.isEmpty() || last == QLatin1String(".") || last == QLatin1String(".."))
        return QString();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return QString();
    return folder == QLatin1String("/") ? folder + last : folder + QLatin1Char('/') + last;
}

// ---- Copy

// The n-th free-name candidate for a copy of name: " - Copy" before the extension of a
// file, then " - Copy (2)", " - Copy (3)", ...
QString CopyName(const QString &name, bool isFolder, int n)
{
    const QString mark = n == 1 ? QStringLiteral(" - Copy") : QStringLiteral(" - Copy (%1)").arg(n);
    const qsizetype dot = isFolder ? -1 : name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) // no extension; a leading dot belongs to the name
        return name + mark;
    return name.left(dot) + mark + name.mid(dot);
}

// The target in folder for name: name itself when free, else the first free copy name.
QString FreeTarget(const QString &folder, const QString &name, bool isFolder)
{
    const QString first = folder + QLatin1Char('/') + name;
    if (!Exists(NativePath(first)))
        return first;
    for (int n = 1; n <= 10000; ++n) {
        const QString candidate = folder + QLatin1Char('/') + CopyName(name, isFolder, n);
        if (!Exists(NativePath(candidate)))
            return candidate;
    }
    return QString();
}

// Copies source to target, which does not exist; never overwrites. Folders whole,
// links as links; anything else (pipes, devices, sockets) is not copied.
bool CopyEntry(const fs::path &source, const fs::path &target)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(source, error);
    if (error)
        return false;
    switch (status.type()) {
    case fs::file_type::symlink: {
        const fs::path link = fs::read_symlink(source, error);
        if (error)
            return false;
        fs::create_symlink(link, target, error);
        return !error;
    }
    case fs::file_type::regular:
        return fs::copy_file(source, target, fs::copy_options::none, error) && !error;
    case fs::file_type::directory: {
        if (!fs::create_directory(target, error) || error)
            return false;
        bool all = true;
        fs::directory_iterator it(source, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error))
            all = CopyEntry(it->path(), target / it->path().filename()) && all;
        all = all && !error;
        // The folder's own permissions last, so that a read-only folder can be filled.
        fs::permissions(target, status.permissions(), error);
        return all && !error;
    }
    default:
        return false;
    }
}

bool CopyOne(const QString &sourceName, const QString &dest, bool destIsFolder)
{
    const QString source = AbsoluteName(sourceName);
    if (source.isEmpty() || !Exists(NativePath(source)))
        return false;
    const bool isFolder = QFileInfo(source).isDir() && !QFileInfo(source).isSymLink();
    QString target;
    if (destIsFolder) {
        target = FreeTarget(QFileInfo(dest).absoluteFilePath(), QFileInfo(source).fileName(), isFolder);
    } else {
        const QFileInfo destInfo(dest);
        if (!QDir().mkpath(destInfo.absolutePath()))
            return false;
        target = FreeTarget(destInfo.absolutePath(), destInfo.fileName(), isFolder);
    }
    if (target.isEmpty())
        return false;
    // A folder copied into itself would never end.
    if (isFolder) {
        const QString real = QFileInfo(source).canonicalFilePath() + QLatin1Char('/');
        const QString into = QFileInfo(QFileInfo(target).absolutePath()).canonicalFilePath() + QLatin1Char('/');
        if (into.startsWith(real))
            return false;
    }
    return CopyEntry(NativePath(source), NativePath(target));
}

// ---- Trash: the freedesktop.org home trash, "Trash/files" and "Trash/info"

class HomeTrash {
public:
    HomeTrash() : root_(DataFolder::Now() + QStringLiteral("/Trash")) {}

    // Creates the trash's folders when missing (for the owner only).
    bool Available() const
    {
        if (!QDir().mkpath(QFileInfo(root_).absolutePath()))
            return false;
        for (const QString &folder : {root_, Files(), Info()}) {
            if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
                return false;
            if (!QFileInfo(folder).isDir())
                return false;
        }
        return true;
    }

    // Moves the entry at path (absolute, existing) into the trash, with its info file.
    bool Take(const QString &path) const
    {
        const QString base = QFileInfo(path).fileName();
        for (int n = 1; n <= 10000; ++n) {
            const QString name = n == 1 ? base : base + QStringLiteral(".%1").arg(n);
            const QString stored = Files() + QLatin1Char('/') + name;
            if (Exists(NativePath(stored)))
                continue;
            // The info file, created exclusively, reserves the name.
            QFile info(Info() + QLatin1Char('/') + name + QStringLiteral(".trashinfo"));
            if (!info.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                if (info.exists())
                    continue;
                return false;
            }
            const QByteArray text = InfoText(path);
            const bool written = info.write(text) == text.size() && info.flush();
            info.close();
            // Only a rename: on another file system the trash cannot take the entry
            // (EXDEV), and it is left where it is rather than copied and deleted.
            if (written && !Exists(NativePath(stored))
                && std::rename(QFile::encodeName(path).constData(), QFile::encodeName(stored).constData()) == 0)
                return true;
            info.remove();
            return false;
        }
        return false;
    }

private:
    QString Files() const { return root_ + QStringLiteral("/files"); }
    QString Info() const { return root_ + QStringLiteral("/info"); }

    static QByteArray InfoText(const QString &path)
    {
        return QByteArrayLiteral("[Trash Info]\nPath=") + QUrl::toPercentEncoding(QFile::encodeName(path), "/")
               + QByteArrayLiteral("\nDeletionDate=")
               + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1()
               + QByteArrayLiteral("\n");
    }

    QString root_;
};

} // namespace

QString TUtilities::MD5(const QString &FileName)
{
    // No share mode exists here to keep others from writing meanwhile: the digest is
    // of the content as read from the beginning to the end.
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, file.errorString()));
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file) || file.error() != QFileDevice::NoError)
        throw EInOutError(QStringLiteral("Cannot read file \"%1\". %2").arg(FileName, file.errorString()));
    return QString::fromLatin1(hash.result().toHex());
}

bool TUtilities::CopyStuff(WId, const QString &Source, const QString &Dest)
{
    const QStringList sources = NameList(Source);
    const QStringList dests = NameList(Dest);
    if (sources.isEmpty() || dests.size() != 1)
        return false;
    const QString dest = dests.first();
    bool destIsFolder = QFileInfo(dest).isDir();
    if (sources.size() > 1 && !destIsFolder) {
        if (!QDir().mkpath(dest))
            return false;
        destIsFolder = true;
    }
    bool all = true;
    for (const QString &source : sources)
        all = CopyOne(source, dest, destIsFolder) && all;
    return all;
}

bool TUtilities::DeleteStuff(WId, const QByteArray &Source)
{
    const QStringList names = NameList(Source);
    if (names.isEmpty())
        return false;
    // Every name must exist before anything moves.
    QStringList paths;
    for (const QString &name : names) {
        const QString path = AbsoluteName(name);
        if (path.isEmpty() || !Exists(NativePath(path)))
            return false;
        paths << path;
    }
    const HomeTrash trash;
    if (!trash.Available())
        return false;
    bool all = true;
    for (const QString &path : paths)
        all = trash.Take(path) && all;
    return all;
}
