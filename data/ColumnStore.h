#pragma once

#include "data/Database.h"

#include <QVariant>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One column's values of a result set, indexed by slot: integers in one array, texts as UTF-8
// in one shared buffer, so that a hundred thousand rows take little more than their bytes.
class TColumnStore
{
public:
    explicit TColumnStore(TFieldType type) : Type(type) {}

    const TFieldType Type;

    void PushNull();
    void PushInt(qint64 v);
    void PushText(const char *bytes, int size);
    void Push(const QVariant &v);
    void Set(size_t slot, const QVariant &v);
    QVariant Get(size_t slot) const;
    bool IsNull(size_t slot) const;
    size_t Size() const { return Type == TFieldType::Integer ? Ints.size() : Length.size(); }

    // How a value is stored as text; times in the library's own format.
    static QString ToText(const QVariant &v);

private:
    std::vector<qint64> Ints;
    std::vector<bool> IntNull;
    std::vector<uint32_t> Offset, Length;
    std::string Text;
};

// Appends the statement's current row, a value to each column's store.
void PushStatementRow(TStatement &statement,
                      const std::vector<std::unique_ptr<TColumnStore>> &columns);
