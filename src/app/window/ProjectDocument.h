#pragma once
// ProjectDocument: the project the window works on, shared by its parts. It holds the project (its
// programs and options), the file it was opened from or saved to, whether it changed since, the
// program the editor was filled from (the current entry) and the device the project is made for.
// The parts that show or change the project get it by reference; none of them owns it.

#include <QString>

#include "device/DevCatalog.h"
#include "device/DeviceTypes.h"
#include "project/Project.h"
#include "project/ProjectBuild.h"
#include "project/ProjectFile.h"

class ProjectDocument {
 public:
  // The name a project has until it is saved.
  static QString DefaultFileName() { return QStringLiteral("Проект.kvt"); }

  kalvort::Project &project() { return project_; }
  const kalvort::Project &project() const { return project_; }
  kalvort::TDevCatalog &programs() { return project_.Programs(); }
  const kalvort::TDevCatalog &programs() const { return project_.Programs(); }
  kalvort::Options &options() { return project_.Options(); }
  const kalvort::Options &options() const { return project_.Options(); }

  // The project file's name: a full path once opened or saved, DefaultFileName() before.
  const QString &fileName() const { return file_name_; }
  void setFileName(const QString &name) { file_name_ = name; }
  // Changed since it was opened, saved or made new.
  bool changed() const { return changed_; }
  void setChanged(bool changed) { changed_ = changed; }

  // The file the project was opened from when the catalog could not take all its programs: saving
  // over it asks first, as the save would drop them from the file. Empty otherwise.
  const QString &partlyLoadedFile() const { return partly_loaded_file_; }
  void setPartlyLoadedFile(const QString &file) { partly_loaded_file_ = file; }

  // The entry the editor was filled from (-1: none) and the copy of it taken then: the editor's
  // text goes back into that entry whatever row the list shows by now.
  int currentEntryIndex() const { return current_index_; }
  const kalvort::TDevCatalogEntry &currentEntry() const { return current_entry_; }
  // Entry `index` becomes the current one, its copy taken now (-1 or an index out of range: none).
  void setCurrent(int index) {
    current_index_ = index;
    current_entry_ = index >= 0 && index < programs().CatalogCount() ? programs().Catalog(index)
                                                                      : kalvort::TDevCatalogEntry{};
  }
  // The index only: the copy is taken when the entry is shown.
  void setCurrentEntryIndex(int index) { current_index_ = index; }
  // The copy of the current entry taken afresh (after the entry changed).
  void refreshCurrentEntry() { setCurrent(current_index_); }
  void setCurrentEntry(const kalvort::TDevCatalogEntry &entry) { current_entry_ = entry; }

  // The device kind the project is made for: the chosen device, stored in the project file.
  kalvort::TDeviceType deviceType() const { return device_type_; }
  void setDeviceType(kalvort::TDeviceType type) { device_type_ = type; }

  // The USB programmer with НЦ-31 processing: catalog slot = program number - 13.
  bool nc31Mode() const { return kalvort::Nc31NumberingMode(device_type_, options().processing); }

 private:
  kalvort::Project project_;
  QString file_name_ = DefaultFileName();
  bool changed_ = false;
  QString partly_loaded_file_;
  int current_index_ = -1;
  kalvort::TDevCatalogEntry current_entry_;
  kalvort::TDeviceType device_type_ = kalvort::dtNone;
};
