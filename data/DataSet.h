#pragma once

#include "data/Database.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TColumnStore;
class TTable;
class TRecordCounter;

struct TFieldDef {
    QString Name;
    TFieldType DataType = TFieldType::Text;
    bool Lookup = false;
    // Lookup fields: the value of LookupResultField in LookupTable's row whose key equals KeyField.
    QString KeyField;
    TTable *LookupTable = nullptr;
    QString LookupResultField;
};

// A client-side result set: every row is fetched at Open and held in memory, one
// compact store per column. Rows can be walked, located, bookmarked and, where an
// update target is set, inserted, edited and deleted as pending changes that
// UpdateBatch writes in one transaction.
// On demand, Open counts the rows and reads the first page only; any other row is read with
// its page when it is asked for, and a few pages are kept. Such a data set is read-only.
class TDataSet : public QObject
{
    Q_OBJECT

public:
    enum class TState { Inactive, Browse, Edit, Insert };
    using TBookmark = int;

    explicit TDataSet(TConnection *connection = nullptr, QObject *parent = nullptr);
    ~TDataSet() override;

    TConnection *Connection() const { return m_connection; }

    // The statement: lines sent each followed by CR LF, or one text sent as it is.
    void SetSQL(const QStringList &lines);
    void SetCommandText(const QString &text);
    QString CommandText() const { return m_commandText; }
    TParams &Parameters() { return m_params; }

    // Set before Open.
    void SetOnDemand(bool onDemand) { m_onDemand = onDemand; }
    bool OnDemand() const { return m_onDemand; }
    // On demand: the rows are counted on a connection of their own while the first page is
    // shown; RecordCountKnown tells when. Asking RecordCount first still counts at once.
    void SetCountInBackground(bool on) { m_countInBackground = on; }
    // On demand: rows alike in the statement's closing order come in the order of this unique
    // field, so that a page far down is sought from the keys of a row read before.
    void SetTieBreaker(const QString &field) { m_tieBreaker = field; }
    static constexpr int PageRows = 200;

    void Open();
    void Close();
    bool Active() const { return m_state != TState::Inactive; }
    TState State() const { return m_state; }

    // Navigation over the rows as shown.
    int RecordCount() const; // on demand: counted when first asked for, unless the first
                             // page held every row
    bool IsEmpty() const;
    // The rows attached controls show: the count, or while it is being counted in the
    // background, the first page's.
    int ShownRecordCount() const;
    int RecNo() const { return m_current; } // 0-based; -1 when empty
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    void SetRecNo(int row);
    bool Locate(const QString &fieldName, const QVariant &value);
    TBookmark GetBookmark() const;
    void GotoBookmark(TBookmark bookmark);

    // Fields, by name without regard to case.
    int FieldCount() const { return int(m_fields.size()); }
    const TFieldDef &Field(int index) const { return m_fields[size_t(index)]; }
    int FindField(const QString &name) const;
    int FieldIndex(const QString &name) const; // raises when missing
    QVariant Value(int row, int field) const;  // row as shown
    QString DisplayText(int row, int field) const;
    QVariant FieldValue(const QString &name) const; // current row
    // One field's values in the given rows (as shown), in that order: on demand, each run of
    // neighbouring rows is read with one statement.
    QList<QVariant> RowValues(const QList<int> &rows, const QString &fieldName) const;
    QString AsString(const QString &name) const;
    qint64 AsInteger(const QString &name) const; // 0 for empty or not a number
    bool IsNull(const QString &name) const;

    // Lookup fields are added before Open and are never written.
    void AddLookupField(const QString &name, TFieldType type, const QString &keyField,
                        TTable *lookupTable, const QString &lookupResultField);

    // Editing. Without an update target the data set is read-only.
    void SetUpdateTarget(const QString &tableName, const QString &keyField,
                         const QStringList &writableFields);
    void SetFieldRange(const QString &fieldName, qint64 minimum, qint64 maximum);
    void Append();
    void Edit();
    void SetFieldValue(const QString &name, const QVariant &value);
    void Post();
    void Cancel();
    void Delete();
    bool HasPendingChanges() const;
    void UpdateBatch(); // writes every pending change in one transaction
    // Runs first inside UpdateBatch's transaction, with the keys of the stored rows the data
    // set still shows: what the data set stands for can be made to match it exactly.
    std::function<void(TConnection &connection, const QList<qint64> &keptKeys)> BeforeUpdate;

    // Takes values that another statement stored into the rows whose key field holds the key:
    // no pending change, no move. Names the data set lacks are passed over.
    void RefreshRowValues(const QString &keyField, qint64 key,
                          const QList<QPair<QString, QVariant>> &values);

    // While disabled, attached controls get no notifications; enabling resets them.
    void DisableControls();
    void EnableControls();

signals:
    void AfterScroll();
    // For attached controls (not sent while controls are disabled): the whole content is
    // replaced, one row changed, a row comes or goes, looked-up values changed.
    void BeforeReset();
    void DataReset();
    void RowChanged(int row);
    void BeforeRowInserted(int row);
    void RowInserted(int row);
    // Another statement stored one field of the row with that key.
    void ValueStored(qint64 key, const QString &fieldName, const QVariant &value);
    void BeforeRowRemoved(int row);
    void RowRemoved(int row);
    void ValuesChanged();
    void CurrentChanged(int row);
    // The count of rows shown as ShownRecordCount is known now.
    void RecordCountKnown(int count);
    // The background count noted where rows far down lie: a jump there is sought directly.
    void RowsMarked();

protected:
    void RequireActive() const;
    virtual QString SelectText() const { return m_commandText; }
    virtual void AfterOpen() {}
    virtual void AfterCloseData() {}
    int SlotOf(int row) const { return m_order[size_t(row)]; }
    QVariant SlotValue(int slot, int field) const;
    void SetSlotValue(int slot, int field, const QVariant &value);
    // Takes a value stored elsewhere into a row as shown (on demand: where its page is kept).
    void SetRowValue(int row, int field, const QVariant &value);

private:
    void Load();
    void AddField(const TFieldDef &def);
    void LoadOnDemand();
    struct TPage;
    QString PageText(int first, int count) const;
    void ReadPage(TPage &page, int first, int count) const;
    bool SeekPage(TPage &page, int first, int count) const;
    void ParseOrderKeys();
    void KeepAnchors(const TPage &page) const;
    const TPage &PageOf(int row) const;
    void RequireWritable() const;
    void ClearData();
    void RequireBrowse() const;
    void MoveTo(int row, bool notify = true);
    int NewSlot();
    void CheckRanges(const std::vector<QVariant> &values) const;
    struct TBatch;
    QList<qint64> StoredKeys(int keyField) const;
    void DeleteRemovedRows(const TBatch &batch);
    QList<qint64> InsertNewRowsTogether(const TBatch &batch, std::vector<int> &insertedSlots);
    void WriteRowsOneByOne(const TBatch &batch, bool newRowsWritten,
                           std::vector<int> &insertedSlots);
    bool Notifying() const { return m_disableCount == 0; }
    void ConnectLookupTable(TTable *table);

    TConnection *m_connection = nullptr;
    QString m_commandText;
    TParams m_params;
    TState m_state = TState::Inactive;

    std::vector<TFieldDef> m_fields;
    std::vector<TFieldDef> m_lookupDefs;
    QSet<TTable *> m_lookupTables;    // connected for change notices
    QHash<QString, int> m_fieldIndex; // upper-cased name -> index
    std::vector<std::unique_ptr<TColumnStore>> m_columns;
    std::vector<int> m_order; // slots in the order shown
    bool m_onDemand = false;
    mutable int m_rowCount = 0; // on demand; -1 until counted
    bool m_countInBackground = false;
    QString m_tieBreaker;
    QString ReadText() const;
    std::unique_ptr<TRecordCounter> m_counter;
    quint64 m_countTicket = 0; // the open data set's count asked of the counter
    void CountInBackground();
    QString CountText() const;
    void TakeCount(quint64 ticket, qint64 count);
    void TakeMarks(quint64 ticket, const QList<QPair<int, std::vector<QVariant>>> &marks);
    static constexpr int MarkRows = 1000; // rows between the marks a count notes
    struct TPage {
        int First = 0;
        quint64 Used = 0;
        std::vector<std::unique_ptr<TColumnStore>> Columns;
    };
    mutable std::vector<std::unique_ptr<TPage>> m_pages; // on demand, a few kept
    // The statement's order when it ends in a unique key: a page is then read by seeking from
    // the sort keys of the nearest row already read (kept for each page's first and last row).
    struct TOrderKey {
        int Field;
        QString Name;
        bool Descending;
    };
    std::vector<TOrderKey> m_orderKeys;
    mutable std::map<int, std::vector<QVariant>> m_anchors;
    mutable quint64 m_pageClock = 0;
    static constexpr size_t KeptPages = 8;
    static constexpr int LocateRun = 20000; // rows read by one statement of Locate
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    int m_disableCount = 0;
    bool m_scrollWhileDisabled = false;

    // Editing
    QString m_updateTable;
    QString m_keyField;
    QStringList m_writableFields;
    struct TRange {
        qint64 Minimum, Maximum;
    };
    std::vector<TRange> m_ranges;
    QStringList m_rangeNames;
    static constexpr uint8_t SlotInserted = 1;
    static constexpr uint8_t SlotModified = 2;
    std::vector<uint8_t> m_slotFlags; // inserted / modified
    std::vector<qint64> m_deletedKeys;
    int m_editSlot = -1;
    std::vector<QVariant> m_editBuffer;
};
