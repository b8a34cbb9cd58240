#pragma once
// The settings file's health as the port map sees it: numbers given while a
// port's name was read must be saved, and a file that refuses them must be
// said once, not at every COM number resolved.

namespace quarn {

class Settings;

// Saves what numberNewPorts() gave. A failure is said once per process and
// file, on standard error and in the informative text of the next message
// box; the numbers still hold for this run.
void saveNumberedPorts(Settings& settings);

}  // namespace quarn
