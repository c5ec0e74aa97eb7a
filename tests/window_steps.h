// Steps the tests take through the browser's and the importer's windows; the
// window class is a parameter, as each program names its own Form1.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "window_seams.h"

namespace testing_support {

inline QString q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// A picture file of w×h pixels at p, its folder made as needed.
inline void picture(const std::filesystem::path& p, int w, int h) {
    std::filesystem::create_directories(p.parent_path());
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    ASSERT_TRUE(img.save(q(p)));
}

// The browser: the first names of the rows in the grid, and a search.
template <typename Form>
QStringList names(Form& f) {
    QStringList out;
    for (int r = 0; r < f.model()->rowCount(); ++r) out << f.model()->index(r, 2).data().toString();
    return out;
}

template <typename Form>
QStringList search(Form& f, const QString& name, const QString& mark) {
    f.text1()->setText(name);
    f.text2()->setText(mark);
    f.Command1_Click();
    return names(f);
}

// The importer: the source and the destination chosen through its dialogs.
template <typename Form>
void choose(Form& f, Seams& s, const std::filesystem::path& source, const std::filesystem::path& destination) {
    s.answers.push_back(q(source));
    f.fro_Click();
    s.answers.push_back(q(destination));
    f.toto_Click();
}

}  // namespace testing_support
