#include "utilities/TextFiles.h"

#include "utilities/Exceptions.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace TextFiles {

namespace {

// The bytes of a file, all of them (maxBytes < 0) or nothing when it holds more than
// maxBytes. A failure to read, which the end of the data would otherwise hide, throws.
std::optional<QByteArray> ReadBytes(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const auto failed = [&] {
        return EInOutError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString()));
    };
    if (maxBytes < 0) {
        QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw failed();
        return data;
    }
    // The size a special file gives (0) says nothing: the reading stops one byte past the
    // limit in any case.
    if (file.size() > maxBytes)
        return std::nullopt;
    QByteArray data;
    while (data.size() <= maxBytes) {
        const QByteArray more = file.read(maxBytes + 1 - data.size());
        if (file.error() != QFileDevice::NoError)
            throw failed();
        if (more.isEmpty())
            break;
        data += more;
    }
    if (data.size() > maxBytes)
        return std::nullopt;
    return data;
}

Content Decode(const QByteArray &data)
{
    Content content;
    QString text;
    if (auto bom = QStringConverter::encodingForData(data); bom && *bom != QStringConverter::Latin1) {
        content.encoding = *bom;
        content.byteOrderMark = true;
        // The mark is kept by the decoder and removed here, once: a second one is text.
        QStringDecoder decoder(*bom, QStringConverter::Flag::ConvertInitialBom);
        text = decoder(data);
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
    } else {
        text = QString::fromLatin1(data);
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty())
        return content;
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    content.lines = text.split(QLatin1Char('\n'));
    return content;
}

} // namespace

Content Load(const QString &path) { return Decode(*ReadBytes(path, -1)); }

std::optional<Content> LoadAtMost(const QString &path, qint64 maxBytes)
{
    const std::optional<QByteArray> data = ReadBytes(path, std::max<qint64>(maxBytes, 0));
    if (!data)
        return std::nullopt;
    return Decode(*data);
}

void Save(const QString &path, const QStringList &lines, QStringConverter::Encoding encoding, bool byteOrderMark,
          Replace replace)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1String("\r\n");
    QStringEncoder encoder(encoding, byteOrderMark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    SaveBytes(path, encoder(text), replace);
}

void SaveBytes(const QString &path, const QByteArray &data, Replace replace)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(replace == Replace::AllowDirect);
    // Flushed before the commit: a failure of the last write (a full disk) would otherwise
    // pass unnoticed, and the file cut short would replace the old one.
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush() || !file.commit())
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

} // namespace TextFiles
