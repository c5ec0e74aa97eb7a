// Message boxes of the programs: text only, one OK button, no icon, the
// program's title in the title bar. The error report of an unhandled error
// shows its number and description the same way.
#pragma once

#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace ui {

void show_message(QWidget* parent, const QString& text);

// "Ошибка <number>: <description>" in a message box; the handler that failed
// ends, the program keeps running.
void report_error(QWidget* parent, int number, const QString& description);

// The report of a failure that escaped a handler: a data error with its number
// and text; anything else in Russian words of its own (out of memory, or an
// unexpected failure), never in a library's English.
void report_failure(QWidget* parent, const std::exception& e);

// Tests see the messages instead of a modal box: the text and the title.
using MessageSink = std::function<void(const QString& text, const QString& title)>;
void set_message_sink(MessageSink sink);

}  // namespace ui
