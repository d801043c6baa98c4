#pragma once
// Line-based text files as the program keeps them: 8-bit Latin-1 text with CR LF line
// ends, unless the file begins with a UTF-8 or UTF-16 byte-order mark, in which case it
// is read in that encoding (and can be written back in it).
#include <QStringConverter>
#include <QStringList>

#include <optional>

namespace TextFiles {

struct Content {
    QStringList lines;
    QStringConverter::Encoding encoding = QStringConverter::Latin1;
    bool byteOrderMark = false;
};

// Reads all lines; lines end at CR LF, LF or CR. Throws EFOpenError when the file
// cannot be opened, EInOutError when reading it fails after it was opened.
Content Load(const QString &path);

// The same for a file that may hold at most maxBytes bytes: nothing for a larger one,
// of which no more than maxBytes + 1 bytes are read.
std::optional<Content> LoadAtMost(const QString &path, qint64 maxBytes);

// How a file is replaced. Both write a temporary file beside it and rename it over the
// old one, so a write that fails leaves the old file as it was. Where the folder does not
// let a temporary file be created, AllowDirect writes the file in place instead (a
// failure then can leave it cut short); Atomic fails.
enum class Replace { AllowDirect, Atomic };

// Writes every line followed by CR LF, replacing the file. Throws EFCreateError when
// the file cannot be written.
void Save(const QString &path, const QStringList &lines,
          QStringConverter::Encoding encoding = QStringConverter::Latin1, bool byteOrderMark = false,
          Replace replace = Replace::AllowDirect);

// Replaces the file with these bytes, as Save does. Throws EFCreateError when the file
// cannot be written.
void SaveBytes(const QString &path, const QByteArray &data, Replace replace);

} // namespace TextFiles
