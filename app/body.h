#pragma once

#include <QColor>
#include <QFrame>
#include <QMessageBox>
#include <QString>

#include "ui_body.h"

class LogArea;
class QCloseEvent;

// Marlo's main window and controller: builds every part of the program from
// the configuration, routes what they report to the log area and handles
// quitting.
class Body : public QFrame, private Ui_Body
{
    Q_OBJECT

public:
    explicit Body(QWidget *parent = nullptr);
    ~Body() override;

    // The window's log area, which main makes the process-wide log sink.
    LogArea *logArea() const;

signals:
    void finishing();
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));

private slots:
    void quitting();
    void okQuit();
    void noQuit();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QColor rcvColor = QColor(200, 120, 0);   // received STARS requests in the log
    QMessageBox quitBox;
    // Later parts add here, in this order: the settings editor, the STARS
    // client pointer, the data-link state, the DSP set, normalizeType and the
    // debug delay timer.
};
