// The least any program can do for the panel's start: open COM1, set 9600 8N1,
// raise RTS and write the two start frames, and nothing else. Started by the
// benchmark in the same namespace and through the same launcher as the panel,
// so the difference between the two is what the panel itself costs.
#include "start_line.h"

int main()
{
    return bench::writeStartFrames() ? 0 : 1;
}
