// What the three programs set up alike when they start, and the folder their
// file dialogs open in.
#pragma once

#include <QString>

namespace ui {

// Names the running program: `name` titles its message boxes, and
// `desktop_entry` (the .desktop file's name without ".desktop", also the name
// of its icon in the icon theme) ties its windows to its menu entry.
void name_application(const QString& name, const QString& desktop_entry);

// Makes the toolkit's own texts (the file dialog, standard buttons) Russian,
// as the programs' own are: loads Qt's Russian translations (the formats of
// numbers and dates are left as they were). False when they are not installed.
bool use_russian();

// The folder of the running program, where the file dialogs open. Beside a
// program run from where it was built, that is the program's own folder,
// where the registers are kept next to it; an installed program lies in a
// system folder of programs, so the user's home folder stands in for it.
QString program_folder();

// The rule behind program_folder(): `app_dir` is the running program's
// folder, `installed_dir` the folder the programs are installed into.
QString program_folder(const QString& app_dir, const QString& installed_dir, const QString& home);

}  // namespace ui
