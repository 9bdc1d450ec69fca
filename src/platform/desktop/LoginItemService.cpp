#include "LoginItemService.h"

#include "platform/files/FileError.h"

namespace crel {

void FakeLoginItemService::request(int) {
  if (statusAfterRequest)
    currentStatus = *statusAfterRequest;
  if (!failure.isEmpty())
    throw FileError(failure);
}

} // namespace crel
