#pragma once
// The host's request to stop the conversion in progress. The host raises it (from a signal handler
// too: it is one lock-free atomic store), and components poll it at their safe points (between the
// rows of a grid file) and abandon what they were writing. One state for the process, like the
// event sink.
void RequestGeoCancel();
bool GeoCancelRequested();
// Clears the request, for a host that goes on with other work after stopping one conversion.
void ClearGeoCancel();
