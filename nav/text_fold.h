// Names compared as a reader compares them: case, accents and ß/ss do not
// count ("Montréal" is "montreal", "Goethestraße" is "goethestrasse"), as
// the map server's search index folds them.
#pragma once
#include <string>

// text in lower case with the accents of Latin letters removed and ß, æ,
// œ... spelt out (UTF-8 in and out; bytes that are not UTF-8 are dropped).
std::string text_fold(const std::string& text);
