#pragma once
// Where the program keeps its run-time files: the folder beside the executable.
// Tests point it at a temporary folder before any worker starts.

#include <QString>

namespace RuntimePaths {
QString appDir();                   // folder of the executable, or the override
QString logsDir();                  // appDir() + "/logs"
void setAppDir(const QString& dir); // override; empty restores the default
} // namespace RuntimePaths
