#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the complaints of a QAbstractItemModelTester in warning mode while it lives.
class ModelComplaints
{
public:
    ModelComplaints()
    {
        Shown.clear();
        s_previous = qInstallMessageHandler(&ModelComplaints::Handle);
    }
    ~ModelComplaints() { qInstallMessageHandler(s_previous); }
    ModelComplaints(const ModelComplaints &) = delete;
    ModelComplaints &operator=(const ModelComplaints &) = delete;

    static inline QStringList Shown;

private:
    static void Handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (text.contains(QStringLiteral("FAIL!")))
            Shown << text;
        else if (s_previous)
            s_previous(type, context, text);
    }
    static inline QtMessageHandler s_previous = nullptr;
};
