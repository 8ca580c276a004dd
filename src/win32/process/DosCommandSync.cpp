#include "win32/process/DosCommandSync.h"

#include "win32/base/SystemError.h"

namespace cvl {

TScopedHandle MakeAutoResetEvent() {
  TScopedHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event) RaiseLastOSError();
  return event;
}

void TSyncString::Add(const std::u16string& AValue) {
  std::lock_guard lock(FLock);
  FValue += AValue;
}

void TSyncString::Delete(std::size_t APos, std::size_t ACount) {
  std::lock_guard lock(FLock);
  if (APos < 1 || APos > FValue.size()) return;
  FValue.erase(APos - 1, ACount);
}

std::size_t TSyncString::Length() {
  std::lock_guard lock(FLock);
  return FValue.size();
}

std::u16string TSyncString::Value() {
  std::lock_guard lock(FLock);
  return FValue;
}

void TSyncString::SetValue(const std::u16string& AValue) {
  std::lock_guard lock(FLock);
  FValue = AValue;
}

TInputLines::TInputLines() : FEvent(MakeAutoResetEvent()) {}

int TInputLines::Add(const std::u16string& AValue) {
  int index = 0;
  {
    std::lock_guard lock(FLock);
    FList.push_back(AValue);
    index = static_cast<int>(FList.size()) - 1;
  }
  ::SetEvent(FEvent.Get());
  return index;
}

int TInputLines::Count() {
  std::lock_guard lock(FLock);
  return static_cast<int>(FList.size());
}

void TInputLines::Delete(int AIndex) {
  std::lock_guard lock(FLock);
  if (AIndex >= 0 && AIndex < static_cast<int>(FList.size())) FList.erase(FList.begin() + AIndex);
}

std::u16string TInputLines::Strings(int AIndex) {
  std::lock_guard lock(FLock);
  return FList.at(static_cast<std::size_t>(AIndex));
}

void TInputLines::SetStrings(int AIndex, const std::u16string& AValue) {
  std::lock_guard lock(FLock);
  FList.at(static_cast<std::size_t>(AIndex)) = AValue;
}

std::vector<std::u16string>& TInputLines::LockList() {
  FLock.lock();
  return FList;
}

void TInputLines::UnlockList() { FLock.unlock(); }

}  // namespace cvl
