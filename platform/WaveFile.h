#pragma once

#include <QString>

namespace WaveFile {

// Whether a file is a PCM wave sound that the sound output can play: a RIFF "WAVE" file with a
// format chunk for 8, 16, 24 or 32-bit integer samples followed by a data chunk.
bool isPlayable(const QString& path);

} // namespace WaveFile
