#pragma once

// What every start of the panel must do on the line at the least: open COM1,
// set 9600 8N1, raise RTS and write the two start frames. Shared by the floor
// programs, which the benchmark sets beside the panel.
namespace bench {

// Returns false, with the cause on standard error, when a step fails.
bool writeStartFrames();

} // namespace bench
