// Between the catalog pane and the rest of the window: the pane's place in the left pane, what it
// reads of the window, and the selection handler that settles the editor's text and shows the
// selected program.

#include <algorithm>

#include <QLayout>
#include <QSplitter>

#include "project/ProjectBuild.h"
#include "window/CatalogPane.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"

using namespace kalvort;

void MainWindow::CreateCatalogPane() {
  CatalogPane::WindowState state;
  state.nc31Mode = [this] { return document_.nc31Mode(); };
  state.currentEntry = [this] { return document_.currentIndex(); };
  state.projectName = [this] { return document_.fileName(); };
  catalog_pane_ = new CatalogPane(document_.project(), document_.options(), Dialogs, std::move(state), this);
  catalog_pane_->setObjectName(QStringLiteral("CatalogPane"));
  connect(catalog_pane_, &CatalogPane::selectionChanged, this, &MainWindow::CatalogSelectionChanged);
  connect(catalog_pane_, &CatalogPane::edited, this, [this] {
    document_.setChanged(true);
    updateCommandStates();
  });
  connect(catalog_pane_, &CatalogPane::currentEntryChosen, this, [this](int index) {
    document_.setCurrent(index);
  });
  // Files dropped anywhere on the window go into the catalog.
  catalog_pane_->takeFileDropsOn(*this);
}

CatalogPane &MainWindow::catalogPane() const { return *catalog_pane_; }

void MainWindow::SetupCatalogView() {
  // The left pane starts wide enough for every column; the editor takes the rest of the window.
  const QMargins margins = LeftPane->layout()->contentsMargins();
  const int listWidth = catalog_pane_->preferredListWidth() + margins.left() + margins.right();
  const QList<int> sizes = MainSplitter->sizes();
  MainSplitter->setSizes({listWidth, std::max(sizes.value(0) + sizes.value(1) - listWidth, editorPane().minimumWidth())});
}

TDevCatalog *MainWindow::Catalog() { return &document_.programs(); }
const TDevCatalog *MainWindow::Catalog() const { return &document_.programs(); }


void MainWindow::CatalogSelectionChanged() {
  if (!SettleUnconfirmedText()) {
    // Cancelled: the edited program stays selected, so the editor shows the entry it stores into.
    const int row = catalog_pane_->rowOf(document_.currentIndex());
    if (row >= 0) catalog_pane_->selectRows(row, row, false);
    return;
  }
  const QList<int> rows = catalog_pane_->selectedRows();
  if (rows.isEmpty()) return;
  const int index = catalog_pane_->entryAt(rows.front());
  if (index < 0 || !Catalog()) {
    editorPane().clear();
    updateCommandStates();
    return;
  }
  document_.setCurrent(index);
  ShowCurrentEntry();
  updateCommandStates();
}

void MainWindow::CurCatalogEntryChanged() {
  const int row = catalog_pane_->rowOf(document_.currentIndex());
  catalog_pane_->selectRows(row, row, true);
}
