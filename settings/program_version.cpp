#include "settings/program_version.h"

// The build defines these from its project version.
const char kiv_version[] = KIV_VERSION;
const int kiv_version_major = KIV_VERSION_MAJOR;
const int kiv_version_minor = KIV_VERSION_MINOR;
const int kiv_revision = KIV_REVISION;
