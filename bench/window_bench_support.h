#pragma once
// For the benchmarks that drive real windows: a prompter that answers every question at once
// ("No", or the button given for choices) and shows nothing.

#include "app/gui/prompter.h"

namespace orlavine::bench {

class SilentPrompter : public gui::Prompter {
  public:
    explicit SilentPrompter(int chosenButton = 0) : chosen_(chosenButton) {}
    void alert(const QString&, const QString&) override {}
    bool confirm(const QString&, const QString&) override { return false; }
    void beep() override {}
    Choice choose(const QString&, const QString&, const QStringList&) override {
        return {chosen_, false};
    }
    QString saveFile(const QString&, const QString&, const QStringList&) override { return {}; }
    QString openFile(const QString&, const QStringList&) override { return {}; }
    QString chooseFolder(const QString&) override { return {}; }
    QColor chooseColour(const QColor&, const QString&) override { return {}; }

  private:
    int chosen_;
};

}  // namespace orlavine::bench
