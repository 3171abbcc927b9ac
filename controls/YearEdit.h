#pragma once

#include <QLineEdit>

// A year box: at most 4 characters, digits only. Typed keys other than digits
// (Backspace and Ctrl+C/V/X included) never reach the box; text that arrives
// another way (paste, drop, setText) keeps only its digits.
class TYearEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TYearEdit(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void KeepDigits();
};
