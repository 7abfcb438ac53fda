#pragma once

#include "logsink.h"

#include <QPlainTextEdit>

// stub: the log view, to be written
class LogView : public QPlainTextEdit, public LogSink
{
    Q_OBJECT
public:
    explicit LogView(QWidget *parent = nullptr) : QPlainTextEdit(parent) {}
    void appendText(const QString &text) override { insertPlainText(text); }
};
