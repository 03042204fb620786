#include "platform/processors.h"

namespace bmp256 {

// Windows keeps no count of runnable threads that is cheap to read: a lone
// image there follows the size rule alone.
int ProcessorsBusy() { return 0; }

}  // namespace bmp256
