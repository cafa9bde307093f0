#include "Scene2D.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include "Assert.h"

Scene2D::Scene2D() = default;

void Scene2D::applyProjection() {
  assert(windowSize.x() != 0 && windowSize.y() != 0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  // y downward: the bottom edge is at the 2D height, the top at 0.
  gluOrtho2D(0.0, size2D.x(), size2D.y(), 0.0);
  scale = Float2(static_cast<float>(size2D.x()) / windowSize.x(),
                 static_cast<float>(size2D.y()) / windowSize.y());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void Scene2D::apply2DState() {
  applyProjection();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glCullFace(GL_FRONT);
}

void Scene2D::resize(Int2 size) {
  windowSize = size;
  if (isFollowingWindow) size2D = size;
  applyProjection();
}

int Scene2D::toCoordinate(double value) {
  if (!(value == value)) return 0;
  if (value > maxCoordinate) return maxCoordinate;
  if (value < -maxCoordinate) return -maxCoordinate;
  return static_cast<int>(value);
}

Int2 Scene2D::windowTo2D(Int2 windowPosition) const {
  if (isFollowingWindow) return windowPosition;
  return Int2(toCoordinate(static_cast<double>(windowPosition.x()) * scale.x()),
              toCoordinate(static_cast<double>(windowPosition.y()) * scale.y()));
}

void Scene2D::drawTexturedRectangle(int x, int y, int texture, float s0, float t0, float s1,
                                    float t1, int width, int height) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  glBegin(GL_QUADS);
  glTexCoord2f(s1, t1);
  glVertex2i(x + width, y + height);
  glTexCoord2f(s0, t1);
  glVertex2i(x, y + height);
  glTexCoord2f(s0, t0);
  glVertex2i(x, y);
  glTexCoord2f(s1, t0);
  glVertex2i(x + width, y);
  glEnd();
}

void Scene2D::drawTexturedQuad(const Int2 corners[4], int texture, bool flipX, bool flipY) {
  float s[4] = {1.f, 0.f, 0.f, 1.f};
  float t[4] = {1.f, 1.f, 0.f, 0.f};
  if (flipX) {
    s[0] = 0.f;
    s[1] = 1.f;
    s[2] = 1.f;
    s[3] = 0.f;
  }
  if (flipY) {
    t[0] = 0.f;
    t[1] = 0.f;
    t[2] = 1.f;
    t[3] = 1.f;
  }
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    glTexCoord2f(s[i], t[i]);
    glVertex2i(corners[i].x(), corners[i].y());
  }
  glEnd();
}

void Scene2D::drawRectangle(Int2 a, Int2 b, bool filled) {
  glDisable(GL_TEXTURE_2D);
  glBegin(filled ? GL_QUADS : GL_LINE_LOOP);
  glVertex2i(b.x(), b.y());
  glVertex2i(a.x(), b.y());
  glVertex2i(a.x(), a.y());
  glVertex2i(b.x(), a.y());
  glEnd();
}

void Scene2D::drawBitmapText(const char* text, int x, int y) {
  if (text == nullptr) return;
  glDisable(GL_TEXTURE_2D);
  glRasterPos2i(x, y);
  for (const char* c = text; *c != '\0'; ++c)
    glutBitmapCharacter(GLUT_BITMAP_8_BY_13, static_cast<unsigned char>(*c));
}
