#pragma once
#include <QPixmap>

namespace kv {

// The program's picture, drawn rather than shipped: a meter dial with a flame.
QPixmap makeLogo(int size);

} // namespace kv
