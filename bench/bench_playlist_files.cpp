#include "base/Errors.h"
#include "bench/BenchLibrary.h"
#include "data/PlaylistFormats.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

// Reading the largest playlist files that are taken, and refusing hostile ones: the time and
// memory must stay bounded by the limits, whatever the file holds.

namespace
{

QTemporaryDir *Scratch = nullptr;

// A file made once of the same block written again and again.
QString Repeated(const char *name, const QByteArray &head, const QByteArray &block, qint64 size,
                 const QByteArray &tail = QByteArray())
{
    const QString file = Scratch->filePath(QLatin1String(name));
    if (QFile::exists(file))
        return file;
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file));
    out.write(head);
    for (qint64 written = head.size(); written + block.size() <= size; written += block.size())
        out.write(block);
    out.write(tail);
    return file;
}

void Read(benchmark::State &state, const QString &file, TPlaylistFormat format, bool refused)
{
    qint64 entries = 0;
    for (auto _ : state) {
        try {
            entries = ReadPlaylistFile(file, format).Entries.size();
            if (refused)
                state.SkipWithError("a file past the limits was read");
        } catch (const EInOutError &e) {
            if (!refused)
                state.SkipWithError(qPrintable(e.Message()));
        }
    }
    state.counters["entries"] = double(entries);
    state.SetBytesProcessed(state.iterations() * QFile(file).size());
}

// 64 MB of line feeds, the most a playlist file may hold.
void BM_ReadBlankLines(benchmark::State &state)
{
    Read(state, Repeated("blank.m3u", "#EXTM3U\n", QByteArray(64 * 1024, '\n'), PlaylistFileLimit),
         TPlaylistFormat::M3u, false);
}
BENCHMARK(BM_ReadBlankLines)->Unit(benchmark::kMillisecond)->UseRealTime();

// 65,535 entries with their titles.
void BM_ReadLongestPlaylist(benchmark::State &state)
{
    const QByteArray entry = "#EXTINF:215,Some Artist - Some Title\n"
                             "../Music/Some Artist/Some Album/07 Some Title.mp3\n";
    Read(
        state,
        Repeated("longest.m3u8", "#EXTM3U\n", entry, 8 + qint64(entry.size()) * PlaylistEntryLimit),
        TPlaylistFormat::M3u8, false);
}
BENCHMARK(BM_ReadLongestPlaylist)->Unit(benchmark::kMillisecond)->UseRealTime();

// A line of 60 MB, refused at its 32nd kilobyte.
void BM_RefuseLongLine(benchmark::State &state)
{
    Read(state, Repeated("line.pls", "[playlist]\nFile1=", QByteArray(64 * 1024, 'x'), 60 << 20),
         TPlaylistFormat::Pls, true);
}
BENCHMARK(BM_RefuseLongLine)->Unit(benchmark::kMillisecond)->UseRealTime();

// An element of a million attributes.
void BM_RefuseXspfAttributes(benchmark::State &state)
{
    Read(state,
         Repeated("attributes.xspf", "<playlist", QByteArray(" a=\"1\"").repeated(10000), 60 << 20,
                  "/>"),
         TPlaylistFormat::Xspf, true);
}
BENCHMARK(BM_RefuseXspfAttributes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunBenchmarks(argc, argv, Scratch);
}
