#include "platform/ReplayGain.h"

#include <QStringDecoder>
#include <QtEndian>
#include <cmath>
#include <cstring>

namespace
{

constexpr qint64 MaxId3v2Bytes = 16 * 1024 * 1024;

quint32 Be32(const char *p)
{
    return qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(p));
}

quint32 SyncSafe(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint32(u[0] & 0x7F) << 21 | quint32(u[1] & 0x7F) << 14 | quint32(u[2] & 0x7F) << 7 |
           (u[3] & 0x7F);
}

// Undoes ID3v2 unsynchronisation: a zero byte inserted after every 0xFF.
QByteArray Resync(const QByteArray &data)
{
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out.append(data[i]);
        if (uchar(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == 0)
            ++i;
    }
    return out;
}

// "-6.02 dB", "+1.5 dB", "0.988"; nothing for text that is not a number.
std::optional<double> Number(QString text)
{
    text = text.trimmed();
    if (text.endsWith(QLatin1String("dB"), Qt::CaseInsensitive))
        text.chop(2);
    text = text.trimmed();
    if (text.startsWith(QLatin1Char('+')))
        text.remove(0, 1);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void Assign(TReplayGainInfo &info, const QString &name, const QString &value)
{
    const QString key = name.trimmed().toUpper();
    std::optional<double> *field = key == QLatin1String("REPLAYGAIN_TRACK_GAIN")   ? &info.TrackGain
                                   : key == QLatin1String("REPLAYGAIN_TRACK_PEAK") ? &info.TrackPeak
                                   : key == QLatin1String("REPLAYGAIN_ALBUM_GAIN") ? &info.AlbumGain
                                   : key == QLatin1String("REPLAYGAIN_ALBUM_PEAK") ? &info.AlbumPeak
                                                                                   : nullptr;
    if (field && !*field)
        *field = Number(value);
}

// One text of an ID3v2 text frame in its encoding, from pos up to its terminator; pos moves
// past the terminator.
QString Id3Text(const QByteArray &data, qsizetype &pos, char encoding)
{
    const bool wide = encoding == 1 || encoding == 2;
    qsizetype end = pos;
    if (wide) {
        while (end + 1 < data.size() && !(data[end] == 0 && data[end + 1] == 0))
            end += 2;
    } else {
        while (end < data.size() && data[end] != 0)
            ++end;
    }
    const QByteArray bytes = data.mid(pos, end - pos);
    pos = qMin(data.size(), end + (wide ? 2 : 1));
    switch (encoding) {
    case 0:
        return QString::fromLatin1(bytes);
    case 3:
        return QString::fromUtf8(bytes);
    default: {
        QStringDecoder decode(encoding == 2 ? QStringConverter::Utf16BE : QStringConverter::Utf16,
                              encoding == 2 ? QStringConverter::Flag::Default
                                            : QStringConverter::Flag::ConvertInitialBom);
        QString text = decode(bytes);
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    }
}

void ParseTxxx(const QByteArray &data, TReplayGainInfo &info)
{
    if (data.isEmpty())
        return;
    const char encoding = data[0];
    if (encoding < 0 || encoding > 3)
        return;
    qsizetype pos = 1;
    const QString name = Id3Text(data, pos, encoding);
    QString value = Id3Text(data, pos, encoding);
    Assign(info, name, value);
}

void ParseRva2(const QByteArray &data, TReplayGainInfo &info)
{
    const qsizetype idEnd = data.indexOf('\0');
    if (idEnd < 0)
        return;
    const bool album = QString::fromLatin1(data.left(idEnd))
                           .compare(QLatin1String("album"), Qt::CaseInsensitive) == 0;
    for (qsizetype pos = idEnd + 1; pos + 4 <= data.size();) {
        const int channel = uchar(data[pos]);
        const qint16 adjustment = qFromBigEndian<qint16>(data.constData() + pos + 1);
        const int bits = uchar(data[pos + 3]);
        const int bytes = (bits + 7) / 8;
        pos += 4;
        if (pos + bytes > data.size())
            return;
        if (channel != 1) { // only the master volume
            pos += bytes;
            continue;
        }
        std::optional<double> peak;
        if (bits > 0 && bytes <= 8) {
            quint64 raw = 0;
            for (int i = 0; i < bytes; ++i)
                raw = raw << 8 | uchar(data[pos + i]);
            raw >>= bytes * 8 - bits;
            if (raw > 0)
                peak = double(raw) / std::ldexp(1.0, bits - 1);
        }
        pos += bytes;
        std::optional<double> &gain = album ? info.AlbumGain : info.TrackGain;
        std::optional<double> &peakField = album ? info.AlbumPeak : info.TrackPeak;
        if (!gain)
            gain = adjustment / 512.0;
        if (!peakField)
            peakField = peak;
        return;
    }
}

std::optional<double> LameGain(quint16 field, int nameCode)
{
    if (field >> 13 != nameCode)
        return std::nullopt;
    const double value = (field & 0x1FF) / 10.0;
    return (field & 0x200) ? -value : value;
}

} // namespace

QString ReplayGainModeName(TReplayGainMode mode)
{
    switch (mode) {
    case TReplayGainMode::Track:
        return QStringLiteral("Track");
    case TReplayGainMode::Album:
        return QStringLiteral("Album");
    case TReplayGainMode::Off:
        break;
    }
    return QStringLiteral("Off");
}

TReplayGainMode ParseReplayGainMode(const QString &name)
{
    if (name == QLatin1String("Track"))
        return TReplayGainMode::Track;
    if (name == QLatin1String("Album"))
        return TReplayGainMode::Album;
    return TReplayGainMode::Off;
}

void TReplayGainInfo::Merge(const TReplayGainInfo &later)
{
    if (!TrackGain)
        TrackGain = later.TrackGain;
    if (!TrackPeak)
        TrackPeak = later.TrackPeak;
    if (!AlbumGain)
        AlbumGain = later.AlbumGain;
    if (!AlbumPeak)
        AlbumPeak = later.AlbumPeak;
}

TReplayGainInfo ParseId3v2ReplayGain(const QByteArray &tag)
{
    TReplayGainInfo txxx, rva2;
    if (tag.size() < 10 || !tag.startsWith("ID3"))
        return txxx;
    const int major = uchar(tag[3]);
    const int flags = uchar(tag[5]);
    if (major < 2 || major > 4)
        return txxx;
    QByteArray body = tag.mid(10, SyncSafe(tag.constData() + 6));
    if ((flags & 0x80) && major < 4)
        body = Resync(body);
    qsizetype pos = 0;
    if ((flags & 0x40) && major >= 3 && body.size() >= 4)
        pos = major == 3 ? qsizetype(Be32(body.constData())) + 4 : SyncSafe(body.constData());
    const int idBytes = major == 2 ? 3 : 4;
    const int headerBytes = major == 2 ? 6 : 10;
    while (pos + headerBytes <= body.size()) {
        const char *h = body.constData() + pos;
        if (h[0] == 0)
            break; // padding
        const QByteArray id(h, idBytes);
        qint64 size = major == 2   ? qint64(uchar(h[3])) << 16 | uchar(h[4]) << 8 | uchar(h[5])
                      : major == 4 ? qint64(SyncSafe(h + 4))
                                   : qint64(Be32(h + 4));
        const int frameFlags = major == 2 ? 0 : uchar(h[8]) << 8 | uchar(h[9]);
        pos += headerBytes;
        if (size < 0 || pos + size > body.size())
            break;
        QByteArray data = body.mid(pos, qsizetype(size));
        pos += qsizetype(size);
        if (id != "TXXX" && id != "TXX" && id != "RVA2")
            continue;
        if (major == 4) {
            if (frameFlags & 0x000C) // compressed or encrypted
                continue;
            if (frameFlags & 0x0040) // group id
                data.remove(0, 1);
            if (frameFlags & 0x0002)
                data = Resync(data);
            if (frameFlags & 0x0001) // data length indicator
                data.remove(0, 4);
        } else if (major == 3) {
            if (frameFlags & 0x00C0)
                continue;
            if (frameFlags & 0x0020)
                data.remove(0, 1);
        }
        if (id == "RVA2")
            ParseRva2(data, rva2);
        else
            ParseTxxx(data, txxx);
    }
    txxx.Merge(rva2);
    return txxx;
}

TReplayGainInfo ParseApeReplayGain(const QByteArray &items, int itemCount)
{
    TReplayGainInfo info;
    qsizetype pos = 0;
    for (int i = 0; i < itemCount && pos + 9 <= items.size(); ++i) {
        const quint32 valueBytes = qFromLittleEndian<quint32>(items.constData() + pos);
        const quint32 flags = qFromLittleEndian<quint32>(items.constData() + pos + 4);
        const qsizetype keyEnd = items.indexOf('\0', pos + 8);
        if (keyEnd < 0 || keyEnd + 1 + qint64(valueBytes) > items.size())
            break;
        const QString key = QString::fromLatin1(items.mid(pos + 8, keyEnd - pos - 8));
        const QByteArray value = items.mid(keyEnd + 1, qsizetype(valueBytes));
        pos = keyEnd + 1 + qsizetype(valueBytes);
        if ((flags & 6) == 0) // UTF-8 text
            Assign(info, key, QString::fromUtf8(value));
    }
    return info;
}

TReplayGainInfo ParseLameReplayGain(const QByteArray &frame)
{
    TReplayGainInfo info;
    if (frame.size() < 4 || uchar(frame[0]) != 0xFF || (uchar(frame[1]) & 0xE0) != 0xE0)
        return info;
    const bool mpeg1 = (uchar(frame[1]) >> 3 & 3) == 3;
    const bool mono = (uchar(frame[3]) >> 6) == 3;
    const qsizetype xing = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (frame.size() < xing + 8 || (frame.mid(xing, 4) != "Xing" && frame.mid(xing, 4) != "Info"))
        return info;
    const quint32 flags = Be32(frame.constData() + xing + 4);
    const qsizetype lame = xing + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) +
                           ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    if (frame.size() < lame + 36)
        return info;
    const char *tag = frame.constData() + lame;
    const quint32 peak = Be32(tag + 11); // 1.0 is 2^23
    info.TrackGain = LameGain(qFromBigEndian<quint16>(tag + 15), 1);
    info.AlbumGain = LameGain(qFromBigEndian<quint16>(tag + 17), 2);
    if (peak > 0 && (info.TrackGain || info.AlbumGain))
        info.TrackPeak = peak / 8388608.0;
    return info;
}

TReplayGainInfo ReadReplayGain(const TTagReader &read, qint64 size, qint64 lameFrame)
{
    TReplayGainInfo info;
    const QByteArray head = read(0, qMin<qint64>(size, 10));
    if (head.size() == 10 && head.startsWith("ID3")) {
        // Frames behind a huge picture are not worth reading the picture for.
        const qint64 tagBytes = qMin<qint64>(10 + SyncSafe(head.constData() + 6), MaxId3v2Bytes);
        info = ParseId3v2ReplayGain(read(0, qMin(size, tagBytes)));
    }

    qint64 end = size;
    if (end >= 128 && read(end - 128, 3) == "TAG")
        end -= 128;
    if (end >= 32) {
        const QByteArray footer = read(end - 32, 32);
        if (footer.size() == 32 && footer.startsWith("APETAGEX")) {
            const qint64 tagBytes = qFromLittleEndian<quint32>(footer.constData() + 12);
            const int count = int(qFromLittleEndian<quint32>(footer.constData() + 16));
            if (tagBytes >= 32 && tagBytes <= end)
                info.Merge(ParseApeReplayGain(read(end - tagBytes, tagBytes - 32), qMax(0, count)));
        }
    }

    if (lameFrame >= 0)
        info.Merge(ParseLameReplayGain(read(lameFrame, qMin<qint64>(size - lameFrame, 512))));
    return info;
}

double ReplayGainFactor(const TReplayGainInfo &info, const TReplayGainSettings &settings)
{
    if (settings.Mode == TReplayGainMode::Off)
        return 1.0;
    std::optional<double> gain = info.TrackGain, peak = info.TrackPeak;
    if (settings.Mode == TReplayGainMode::Album && info.AlbumGain) {
        gain = info.AlbumGain;
        peak = info.AlbumPeak ? info.AlbumPeak : info.TrackPeak;
    }
    const double db = gain ? *gain + settings.PreampDb : settings.DefaultDb;
    double factor = std::pow(10.0, db / 20.0);
    if (peak && *peak > 0 && factor * *peak > 1.0)
        factor = 1.0 / *peak;
    return factor;
}
