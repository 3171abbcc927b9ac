#include "data/LibraryNotices.h"

#include "base/Errors.h"
#include "data/PostgresEngine.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QUuid>
#include <libpq-fe.h>

namespace
{

// Tells this process's notices from the others'.
const QByteArray &ProcessTag()
{
    static const QByteArray tag = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    return tag;
}

} // namespace

QByteArray LibraryNoticeText(int changes)
{
    return QByteArray::number(changes) + ';' + ProcessTag();
}

int LibraryNoticeChanges(const QByteArray &text)
{
    const qsizetype cut = text.indexOf(';');
    if (cut < 0 || text.mid(cut + 1) == ProcessTag())
        return 0;
    return text.left(cut).toInt();
}

int LibraryChangesOf(const QByteArray &statement)
{
    // The table written is the one the statement names first after its verb.
    static const QRegularExpression written(
        QStringLiteral(R"((?:INSERT\s+INTO|UPDATE|DELETE\s+FROM)\s+"?(\w+))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = written.match(QString::fromUtf8(statement));
    if (!match.hasMatch())
        return 0;
    const QString table = match.captured(1).toLower();
    if (table == QLatin1String("playlist_db"))
        return lcSongs;
    if (table == QLatin1String("playlist_songs"))
        return lcEntries;
    // Saving entries locks their playlist by writing its name back unchanged.
    static const QRegularExpression lockOnly(QStringLiteral(R"(\bSET\s+Name\s*=\s*Name\s+WHERE)"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (table == QLatin1String("playlists") &&
        lockOnly.match(QString::fromUtf8(statement)).hasMatch())
        return 0;
    // A playlist deleted takes its entries with it.
    if (table == QLatin1String("playlists"))
        return lcPlaylists | lcEntries;
    return 0;
}

struct TLibraryNotices::TPrivate {
    PGconn *Connection = nullptr;
    std::unique_ptr<QSocketNotifier> Notifier;
    ~TPrivate()
    {
        Notifier.reset();
        if (Connection)
            PQfinish(Connection);
    }
};

TLibraryNotices::TLibraryNotices(const QString &uri) : d(std::make_unique<TPrivate>())
{
    CheckServerAddress(uri);
    const QByteArray address = uri.toUtf8();
    const char *const keywords[] = {"connect_timeout", "dbname", "client_encoding",
                                    "fallback_application_name", nullptr};
    const char *const values[] = {"10", address.constData(), "UTF8", "quillmere", nullptr};
    d->Connection = PQconnectdbParams(keywords, values, 1);
    const auto failed = [&](const char *reason) {
        throw EDatabaseError(
            QStringLiteral("Cannot hear the library \"%1\": %2")
                .arg(uri, QString::fromUtf8(reason).trimmed().section(u'\n', 0, 0)),
            TDatabaseFailure::ConnectionLost);
    };
    if (!d->Connection || PQstatus(d->Connection) != CONNECTION_OK)
        failed(d->Connection ? PQerrorMessage(d->Connection) : "out of memory");
    PGresult *listen =
        PQexec(d->Connection, QByteArray("LISTEN ").append(LibraryNoticeChannel).constData());
    const bool listening = listen && PQresultStatus(listen) == PGRES_COMMAND_OK;
    PQclear(listen);
    if (!listening)
        failed(PQerrorMessage(d->Connection));
    d->Notifier = std::make_unique<QSocketNotifier>(PQsocket(d->Connection), QSocketNotifier::Read);
    QObject::connect(d->Notifier.get(), &QSocketNotifier::activated, [this] { Read(); });
}

TLibraryNotices::~TLibraryNotices() = default;

void TLibraryNotices::Read()
{
    if (PQconsumeInput(d->Connection) == 0) {
        d->Notifier->setEnabled(false); // the server went away: nothing more to hear
        return;
    }
    int changes = 0;
    while (PGnotify *notice = PQnotifies(d->Connection)) {
        changes |= LibraryNoticeChanges(QByteArray(notice->extra));
        PQfreemem(notice);
    }
    if (changes != 0 && OnChanged)
        OnChanged(changes);
}
