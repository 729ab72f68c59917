#pragma once
// The window a first launch shows, and the one the extension warning opens: which browsers are
// installed, a button per browser that connects it to the browser host, and how to load the
// extension.

#include <QDialog>

namespace orlavine::gui {

class BrowserSetupWindow : public QDialog {
    Q_OBJECT
  public:
    explicit BrowserSetupWindow(QWidget* parent = nullptr);

  private:
    void build();
};

}  // namespace orlavine::gui
