// The wx headers every file of this backend uses, precompiled once.
#pragma once
#include <wx/wx.h>
#include <wx/filedlg.h>
#include <wx/rawbmp.h>
#include <wx/statline.h>
#include <wx/graphics.h>
