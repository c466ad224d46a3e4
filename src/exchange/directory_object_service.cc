#include "exchange/directory_object_service.h"

#include <utility>

namespace varnel {

DirectoryObjectRef::DirectoryObjectRef(DirectoryObjectRef&& other) noexcept
    : service_(std::exchange(other.service_, nullptr)), handle_(std::exchange(other.handle_, 0)) {}

DirectoryObjectRef& DirectoryObjectRef::operator=(DirectoryObjectRef&& other) noexcept {
  if (this != &other) {
    Reset();
    service_ = std::exchange(other.service_, nullptr);
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

void DirectoryObjectRef::Reset() {
  if (service_ != nullptr) std::exchange(service_, nullptr)->Release(handle_);
  handle_ = 0;
}

}  // namespace varnel
