#include "LoginItemService.h"

#include "FileError.h"

namespace crel {

void FakeLoginItemService::request(int) {
  if (statusAfterRequest)
    currentStatus = *statusAfterRequest;
  if (!failure.isEmpty())
    throw FileError(failure);
}

} // namespace crel
