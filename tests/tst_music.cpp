#include <QTest>
class MusicTest : public QObject
{
    Q_OBJECT
};
QTEST_MAIN(MusicTest)
#include "tst_music.moc"
