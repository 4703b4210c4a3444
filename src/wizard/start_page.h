#pragma once
// The Start page, page 0 of the wizard: what this run will do (a first installation, an update,
// a reinstallation, or nothing because a newer version is installed), and the choice of the
// language, shown with flags, which changes the language of the whole wizard at once.

#include <array>

#include "app/languages.h"
#include "ui/controls.h"
#include "ui/image_list.h"
#include "wizard/wizard_page.h"

class CDlgStart : public WizardPage {
 public:
  CDlgStart();

  // The languages offered, in the order of the box: the product's eleven languages.
  static constexpr std::array<Language, 11> offeredLanguages = {
      French, English, German, Spanish, Portuguese, Dutch, Greek, Turkish, Romanian, Japanese, Hungarian};

  // The language label, the copyright line, and the info and status texts for the state of the
  // earlier installation.
  void RefreshTexts() override;
  // The box and the copyright line grow in width, the info text in both directions; the label
  // keeps its place and size.
  void Stretch(int dx, int dy) override;

  // The language box (bound when the page is created).
  const ui::ComboBoxEx& LanguageBox() const { return languageBox_; }
  const ui::ImageList& Flags() const { return flags_; }

 protected:
  // Fills the language box: the flags, the languages' own names, the current one selected.
  bool OnInitDialog() override;
  // Binds the language box; the page exchanges no data with the options.
  void DoDataExchange(ui::DataExchange& exchange) override;
  bool OnCommand(WORD id, WORD code, HWND control) override;

 private:
  // The user chose an item of the language box: its language becomes the wizard's.
  void OnLanguageChange();
  // Adds the offered languages to the box; returns the index of the current language, or -1.
  int AddLanguages();
  // Makes the drop-down list wide enough for the widest language name.
  void FitDroppedWidth();

  ui::ComboBoxEx languageBox_;
  ui::ImageList flags_;
};
