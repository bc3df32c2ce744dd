#include "platform/Sound.h"

#include <QApplication>
#include <QFile>
#include <QSoundEffect>
#include <QUrl>

#include "app/SoundFiles.h"

namespace kv {

struct SoundPlayer::Impl {
    QSoundEffect effect;
};

SoundPlayer::SoundPlayer() : impl_(std::make_unique<Impl>()) {}
SoundPlayer::~SoundPlayer() = default;

bool SoundPlayer::canPlay(const std::string& path) const
{
    return isPlayableWaveFile(path);
}

void SoundPlayer::play(const std::string& path)
{
    if (!canPlay(path)) {
        beep();
        return;
    }
    impl_->effect.setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    impl_->effect.play();
}

void SoundPlayer::beep()
{
    QApplication::beep();
}

} // namespace kv
