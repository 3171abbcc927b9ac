#pragma once

#include <QLineEdit>

// A one-line search text; Escape clears it.
class TSearchEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TSearchEdit(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
