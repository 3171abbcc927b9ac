#include "tests/support/DecodedPcm.h"

#include "platform/Mp3Decoder.h"

#include <vector>

QByteArray DecodedPcm(const QString &path)
{
    TMp3Decoder decoder;
    decoder.Open(path);
    QByteArray pcm;
    std::vector<char> buffer(65536);
    qint64 n = 0;
    while ((n = decoder.Read(buffer.data(), qint64(buffer.size()))) > 0)
        pcm.append(buffer.data(), qsizetype(n));
    return pcm;
}
