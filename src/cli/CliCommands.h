#pragma once
// The command line's commands (run, show, log, ports) and the parsing of its
// arguments, apart from the program's main so that they can be tried in a
// test's own process.
#include <QCommandLineParser>
#include <QStringList>

namespace kt {

// Sets up `p` with the command line's options and parses `arguments` (the
// program's name first). "--csv" is a switch for run and show and names the
// file for the log's commands, wherever the other options stand. 0, or 1
// with the parser's message.
int ParseCommandLine(QCommandLineParser& p, QStringList arguments, QString& error);

// Parses and runs one command; the process's exit status.
int RunCommandLine(const QStringList& arguments);

}  // namespace kt
