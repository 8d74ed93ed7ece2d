// Placeholder until the writer lands: the command and the create run can already call it.
#include "epwing/epwing_book.h"

#include "platform/error.h"

namespace tavex::epwing {

EpwingSummary BuildEpwingBook(const EpwingOptions& options, Progress& progress) {
  throw Error("the EPWING writer is not built yet");
}

}  // namespace tavex::epwing
