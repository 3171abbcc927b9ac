#include "data/ColumnStore.h"

#include "base/Errors.h"

#include <QDateTime>

namespace
{
constexpr uint32_t NullText = 0xFFFFFFFFu;
const QString DateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
} // namespace

void TColumnStore::PushNull()
{
    if (Type == TFieldType::Integer) {
        Ints.push_back(0);
        IntNull.push_back(true);
    } else {
        Offset.push_back(0);
        Length.push_back(NullText);
    }
}

void TColumnStore::PushInt(qint64 v)
{
    Ints.push_back(v);
    IntNull.push_back(false);
}

void TColumnStore::PushText(const char *bytes, int size)
{
    if (Text.size() + size_t(size) > 0xFFFFFFF0u)
        throw EDatabaseError(QStringLiteral("The result set is too large"));
    Offset.push_back(uint32_t(Text.size()));
    Length.push_back(uint32_t(size));
    Text.append(bytes, size_t(size));
}

void TColumnStore::Push(const QVariant &v)
{
    if (v.isNull()) {
        PushNull();
    } else if (Type == TFieldType::Integer) {
        PushInt(v.toLongLong());
    } else {
        const QByteArray utf8 = ToText(v).toUtf8();
        PushText(utf8.constData(), int(utf8.size()));
    }
}

void TColumnStore::Set(size_t slot, const QVariant &v)
{
    if (Type == TFieldType::Integer) {
        Ints[slot] = v.isNull() ? 0 : v.toLongLong();
        IntNull[slot] = v.isNull();
    } else if (v.isNull()) {
        Length[slot] = NullText;
    } else {
        const QByteArray utf8 = ToText(v).toUtf8();
        Offset[slot] = uint32_t(Text.size());
        Length[slot] = uint32_t(utf8.size());
        Text.append(utf8.constData(), size_t(utf8.size()));
    }
}

QVariant TColumnStore::Get(size_t slot) const
{
    if (Type == TFieldType::Integer)
        return IntNull[slot] ? QVariant() : QVariant(Ints[slot]);
    if (Length[slot] == NullText)
        return {};
    const QString text = QString::fromUtf8(Text.data() + Offset[slot], int(Length[slot]));
    if (Type == TFieldType::DateTime) {
        const QDateTime dt = QDateTime::fromString(text, DateTimeFormat);
        if (dt.isValid())
            return dt;
    }
    return text;
}

bool TColumnStore::IsNull(size_t slot) const
{
    return Type == TFieldType::Integer ? bool(IntNull[slot]) : Length[slot] == NullText;
}

QString TColumnStore::ToText(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime().toString(DateTimeFormat);
    return v.toString();
}

void PushStatementRow(TStatement &statement,
                      const std::vector<std::unique_ptr<TColumnStore>> &columns)
{
    for (size_t c = 0; c < columns.size(); ++c) {
        TColumnStore &column = *columns[c];
        if (statement.IsNull(int(c))) {
            column.PushNull();
        } else if (column.Type == TFieldType::Integer) {
            column.PushInt(statement.Integer(int(c)));
        } else {
            const std::string_view text = statement.Utf8(int(c));
            column.PushText(text.data(), int(text.size()));
        }
    }
}
