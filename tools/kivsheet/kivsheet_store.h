// kivsheet store: lists the sheet store by source, level, count, size and
// age; with --prune SOURCE (a name it lists, or "all") and/or --older-than
// DAYS, removes those sheets instead.
#pragma once

struct KivsheetOptions;

int kivsheet_store(const KivsheetOptions& o);
