#pragma once

namespace fuzzsupport {

// glibc loads a module for each code set when a converter opens and unloads it when
// the last one closes; the text conversions open and close their own each time. One
// converter per module kept open for the life of the process makes that cheap, so a
// fuzzer spends its time on the input instead of in the dynamic loader.
void keepConvertersLoaded();

}  // namespace fuzzsupport
