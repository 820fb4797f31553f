#pragma once
// The in-memory catalog of a memory module: the project's programs in list order, their catalog
// numbers, page placement and control sums. TDeviceClass derives from it; the project file reads
// into a bare TDevCatalog too.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceTypes.h"

namespace kalvort {

class TDevCatalog {
 public:
  TDevCatalog() = default;
  virtual ~TDevCatalog() = default;
  TDevCatalog(const TDevCatalog &) = delete;
  TDevCatalog &operator=(const TDevCatalog &) = delete;

  TDeviceError LastError() const { return last_error_; }

  // Raised by every call that may have changed the entries, their order or the catalog's geometry
  // (the device's catalog and program reads included); a call that fails or names no entry
  // leaves it. A view compares it with the value it last showed instead of comparing the whole
  // catalog. Any thread.
  uint64_t Revision() const { return revision_.load(); }

  int CatalogCount() const;
  // A copy of entry i (sharing its binary and text); an all-zero record when i is out of range.
  TDevCatalogEntry Catalog(int i) const;
  // Overwrites entry i when it exists; otherwise does nothing.
  void SetCatalog(int i, const TDevCatalogEntry &entry);
  void CatalogClear();
  // Exchanges the entries of the two catalogs (geometry stays); last error deOK. Lets a reader
  // build a catalog aside and put it in place only when it is complete.
  void SwapCatalog(TDevCatalog &other);
  // Makes this catalog a copy of `other`: its entries (sharing their binaries and texts), its
  // geometry and its total; last error deOK. A device takes the project to write this way, and a
  // project takes the programs a read brought.
  void CopyCatalogFrom(const TDevCatalog &other);

  bool AddCatalogEntry(TDevCatalogEntry &entry);
  bool InsertCatalogEntry(TDevCatalogEntry &entry, int position);
  bool ChangeCatalogEntry(TDevCatalogEntry &entry, int index);
  bool ReplaceCatalogEntry(int index, int source_index);
  bool RemCatalogEntry(bool renumber, int index);

  int GetCatalogEntryNumByCatNum(int cat_num, int excluded_index = -1) const;
  int GetLessCatalogEntryNumByCatNum(int cat_num, int excluded_index = -1) const;
  int GetMoreCatalogEntryNumByCatNum(int cat_num, int excluded_index = -1) const;

  bool CatalogEntryUpCatNum(int index);
  bool CatalogEntryDownCatNum(int index);
  bool CatalogEntryUpProgNum(int index);
  bool CatalogEntryDownProgNum(int index);

  bool PrepareCatalog(bool fixed, int slot_size);
  bool DefragCatalog(int page_size);
  void UpdateControlSum(int index);

  void FileValidClearAll();
  void FileBinValidClear(int index);
  void FileBinValidSet(int index);
  void FileTxtValidClear(int index);
  void FileTxtValidSet(int index);
  void FileErrorClear(int index);
  void FileErrorSet(int index, TFileError error);

  // Totals the sizes of the valid binaries. The total is kept apart from the device state that
  // the transports fill, so a status poll on another thread never races a catalog change.
  bool CalculateMPStat();
  int32_t MPAll() const { return mp_all_.load(); }

  // Catalog geometry.
  int MaxProgNum() const { return dev_max_prog_num_; }
  void SetMaxProgNum(int v) { SetGeometry(dev_max_prog_num_, v); }
  int MoreMPCatNum() const { return dev_more_smp_cat_num_; }
  void SetMoreMPCatNum(int v) { SetGeometry(dev_more_smp_cat_num_, v); }
  int MoreMPZoneNum() const { return dev_more_smp_zone_num_; }
  void SetMoreMPZoneNum(int v) { SetGeometry(dev_more_smp_zone_num_, v); }
  int ProjLastPage() const { return proj_last_page_; }

 protected:
  // Raises the revision; every change of entries_ or the geometry calls it.
  void CatalogChanged() { revision_.fetch_add(1); }

  std::vector<TDevCatalogEntry> entries_;
  mutable std::mutex entries_mutex_;  // held while every entry is released or copied
  TDeviceState dev_state_;         // status of the device and module (filled by the transports)
  // Written by the worker, the completion waiter and the owner's thread.
  std::atomic<TDeviceError> last_error_{deOK};
  std::atomic<int32_t> mp_all_{0};  // CalculateMPStat's total; DeviceState() reports it as MP_all
  int dev_max_prog_num_ = 100;
  int dev_more_smp_cat_num_ = 0;
  int dev_more_smp_zone_num_ = 0;
  int proj_last_page_ = 0;

 private:
  void SetGeometry(int &field, int value) {
    if (field == value) return;
    field = value;
    CatalogChanged();
  }
  uint16_t UniqueProgNum(uint16_t wanted, int excluded_index) const;
  // Puts `record` (given an empty text when it has none) at `position`; on success `entry` gets
  // it as stored. False (deOperationError) when memory runs out, the catalog unchanged.
  bool PlaceEntry(TDevCatalogEntry record, int position, TDevCatalogEntry &entry);
  bool MoveEntry(int index, bool down, bool with_prog_num);
  void AssignFixedSlots(uint32_t slot_size, uint32_t page_size);
  // Entry `index` for a change (the revision is raised), or nullptr.
  TDevCatalogEntry *EntryAt(int index);

  std::atomic<uint64_t> revision_{0};
};

// Current date and time as an OLE Automation date (days since 30 December 1899).
double NowAsOleDate();

// Fills `code` (Windows-1251, 0-terminated, cut to 128 bytes) and `indic` (display codes) from a name.
void StringToCatalogEntry(std::u16string_view name, TDevCatalogEntry &entry);
// The longest start of `name` whose Windows-1251 form fits the 128 name bytes of an entry; a
// surrogate pair (one character, one byte) is never split.
std::u16string FitCatalogName(std::u16string_view name);
// Local calendar date and time of an OLE Automation date; false when it is not finite or lies
// outside the years 100 to 9999.
struct OleDateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool OleDateToParts(double date, OleDateParts &parts);
// Display code of one Windows-1251 byte for the control's 16-character display.
uint8_t char_lcd(uint8_t b);
// Text of the bytes up to the first 0 or max_len bytes, decoded from Windows-1251.
std::u16string ByteArrayToString(const uint8_t *bytes, size_t max_len);

}  // namespace kalvort
