#pragma once

// Roles for the interface's own painted widgets, which Qt would otherwise describe as a bare
// "client" area: the lane's canvas, the monitor, the window's title, the bay selector, the caption
// list and its rows. Installing twice is harmless.
namespace BCAccessible {

void install();

} // namespace BCAccessible
