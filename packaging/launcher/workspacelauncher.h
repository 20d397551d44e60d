#pragma once

#include <QString>

class QProcessEnvironment;

// The program opens Cable/, xDSL/ and AddNoise/ relative to its working directory; a menu launch
// starts in the home folder, so the launcher picks a directory that really holds them.

// True when `dir` holds the three template directories.
bool hasTemplateDirectories(const QString &dir);

// $XDG_DATA_HOME when it is set to an absolute path, otherwise $HOME/.local/share.
QString xdgDataHome(const QProcessEnvironment &environment);

// The user's own workspace: <xdgDataHome>/kolvane/workspace.
QString userWorkspace(const QString &xdgDataHome);

// `cwd` when it holds the template directories. Otherwise the user's workspace, which the first
// call creates as a copy of `installedSamples` and later calls use as it is (user edits survive).
// Returns an empty string and sets *error when the samples are missing or the copy fails; a failed
// copy leaves no partial workspace behind.
QString chooseWorkingDirectory(const QString &cwd, const QString &xdgDataHome,
                               const QString &installedSamples, QString *error);

// Copies `installedHelp` into `workspace` as help.chm unless the workspace already holds the same file.
// A missing `installedHelp` is not an error (the help may not be installed).
bool provideHelpFile(const QString &workspace, const QString &installedHelp, QString *error);

// Copies the directory tree `from` into `to`, which must not exist yet.
bool copyDirectoryTree(const QString &from, const QString &to, QString *error);
