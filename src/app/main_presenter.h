// The main window's behaviour: its start state, its texts in the language in force, the
// off-line function radios, the language switch, the About box and the Writer commands.
#pragma once

#include <string>

#include "app/app_context.h"
#include "app/main_view.h"

namespace vx3::app {

class MainPresenter {
 public:
  MainPresenter(AppContext& context, MainView& view) : context_(context), view_(view) {}
  ~MainPresenter();
  MainPresenter(const MainPresenter&) = delete;
  MainPresenter& operator=(const MainPresenter&) = delete;

  // Puts the window into its start state; reporting and progress go to the window from here on.
  void OnInitWindow();

  // Captions of the main window's controls from the language file in force.
  void ApplyMainWindowTexts();

  void OnFunction0Clicked();
  void OnFunction6Clicked();
  void SwitchToChinese();
  void SwitchToEnglish();
  void OnAbout();

  // The Writer commands of the operation buttons (operation_commands.cpp).
  void OnDeviceLoad();
  void OnOneKeyLoad();
  void OnAutoProgram();
  void OnBlankCheck();
  void OnProgram();
  void OnVerify();
  void OnRead();
  void OnRollingCode();
  void OnLoadOtp();

  // The welcome text of the status box.
  std::string WelcomeText() const;

 private:
  struct LanguageChoice;
  void SwitchLanguage(const LanguageChoice& choice);

  AppContext& context_;
  MainView& view_;
};

}  // namespace vx3::app
