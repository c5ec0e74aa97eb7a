// The windows' test hooks for one test: the messages shown are collected, and
// the file dialog answers with the next queued path (an empty one cancels).
#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "ui/file_dialog.h"
#include "ui/message_box.h"

namespace testing_support {

struct Seams {
    std::vector<QString> messages;
    std::vector<QString> answers;
    Seams() {
        ui::set_message_sink([this](const QString& text, const QString&) { messages.push_back(text); });
        ui::FileDialog::set_script([this](const ui::FileDialog&) -> std::optional<QString> {
            if (answers.empty()) return std::nullopt;
            QString a = answers.front();
            answers.erase(answers.begin());
            if (a.isEmpty()) return std::nullopt;
            return a;
        });
    }
    ~Seams() {
        ui::set_message_sink(nullptr);
        ui::FileDialog::set_script(nullptr);
    }
    Seams(const Seams&) = delete;
    Seams& operator=(const Seams&) = delete;
};

}  // namespace testing_support
