// The program's version, one number for every program of the package: the
// build's project version (major.minor.revision).
#pragma once

extern const char kiv_version[];   // "1.0.243"
extern const int kiv_version_major, kiv_version_minor, kiv_revision;
