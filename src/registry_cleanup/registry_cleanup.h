// Removal of the component set's registrations with the system and its shell.
#pragma once

// Deletes the component set's keys, in a fixed order; never writes a value,
// never enumerates a key, and reports nothing.
void CleanRegistry();
