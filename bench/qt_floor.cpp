// The toolkit's floor for the time to the windows: the shortest Qt program
// that shows an image in two windows titled as tesmic's, taking the same
// command line. What tesmic takes beyond it is its own.
#include <cstdlib>

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

int main(int argc, char** argv) {
  // As tesmic starts Qt: its windows use no OpenGL.
  setenv("QT_XCB_GL_INTEGRATION", "none", 0);
  QApplication application(argc, argv);
  if (argc < 2) return 2;
  QImageReader reader(QString::fromLocal8Bit(argv[1]));
  reader.setAutoTransform(true);
  const QPixmap picture = QPixmap::fromImage(reader.read());
  QLabel mask;
  QLabel orig;
  for (QLabel* window : {&mask, &orig}) window->setPixmap(picture);
  mask.setWindowTitle("Vysledek");
  orig.setWindowTitle("ORIG");
  mask.show();
  orig.show();
  return QApplication::exec();
}
