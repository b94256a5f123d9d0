#pragma once

#include <QString>

namespace WaveFile {

// Whether a file is a PCM wave sound that the sound output can play: a RIFF "WAVE" file with a
// format chunk for 8, 16 or 32-bit integer samples (or 32-bit float) and a data chunk.
bool isPlayable(const QString& path);

} // namespace WaveFile
