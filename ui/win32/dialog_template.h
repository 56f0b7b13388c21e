// Builds the platform's in-memory dialog templates (DLGTEMPLATE and its items) from the
// template data of ui/resources/templates.h, so that the dialogs have one source of truth.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/resources/templates.h"

namespace varden::win32 {

// The face and size a dialog is built with.
struct DialogFont {
  std::wstring face;
  int points = 0;
};

// The template's own font, except that on a system with double-byte character support the
// faces "MS Sans Serif", "MS Shell Dlg" and "Helv" give way to the system font, so that
// Japanese labels can be shown; with `replace_size` the system font's size replaces the
// template's size as well. Other faces (the progress window's Japanese one) stay.
DialogFont ResolveDialogFont(const ui::DialogTemplate& dialog, bool replace_size);

// Whether `face` is one of the faces that ResolveDialogFont replaces.
bool IsReplaceableFace(std::wstring_view face);

// The template in the platform's format: DWORD-aligned words, ready for
// DialogBoxIndirectParamW and CreateDialogIndirectParamW.
class InMemoryTemplate {
 public:
  InMemoryTemplate(const ui::DialogTemplate& dialog, const DialogFont& font);
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }
  std::size_t SizeInBytes() const { return words_.size() * sizeof(WORD); }

 private:
  void Word(WORD value) { words_.push_back(value); }
  void DoubleWord(DWORD value);
  void Text(std::wstring_view text);
  void AlignToDoubleWord();

  std::vector<WORD> words_;
};

}  // namespace varden::win32
