// Names compared as people type them: case, accents and ligatures folded,
// so "montreal" finds Montréal and "strasse" finds Straße.
#pragma once
#include <string>

// UTF-8 text in lower case with Latin letters folded to ASCII ("Ærø" ->
// "aero", "ß" -> "ss"); combining accents dropped, Greek and Cyrillic in
// lower case, other letters kept as they are, bytes that are no UTF-8
// left out.
std::string text_fold(const std::string& text);
