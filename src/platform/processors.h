// What the system says of its processors' load.
#pragma once

namespace bmp256 {

// Whether other work already keeps every processor busy, so that a further
// thread of ours would mostly wait for one. Where the system does not say: 0.
int ProcessorsBusy();

}  // namespace bmp256
