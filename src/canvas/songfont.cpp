#include "songfont.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace zarnet {

void installSongSubstitutions() {
    QFont::insertSubstitutions(QString::fromUtf16(SongFamily),
                               {u"SimSun"_s, u"NSimSun"_s, u"AR PL UMing CN"_s, u"AR PL UMing TW"_s,
                                u"AR PL SungtiL GB"_s, u"Noto Serif CJK SC"_s,
                                u"Noto Sans CJK SC"_s, u"WenQuanYi Zen Hei"_s});
}

QFont songFont(qreal pointSize, bool bold) {
    QFont font(QString::fromUtf16(SongFamily));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace zarnet
