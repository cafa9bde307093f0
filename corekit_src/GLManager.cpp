#include "GLManager.h"

#include <GL/glew.h>
#include <GL/freeglut.h>
#include <stdio.h>

#include <iostream>
#include <string>

#include "AtomicFileWriter.h"
#include "KeyboardManager.h"
#include "Platform.h"
#include "PlatformWindow.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "VBO.h"
// After the engine headers: the X11 headers it brings define macros such as None and Bool.
#include <GL/glxew.h>
#include "Assert.h"

Int2 GLManager::windowSize{0, 0};
std::unique_ptr<KeyboardManager> GLManager::keyboardManager;
std::unique_ptr<Scene3D> GLManager::scene3D;
std::unique_ptr<Scene2D> GLManager::scene2D;
std::unique_ptr<SpriteManager> GLManager::spriteManager;
bool GLManager::mouseButtons[GLManager::nbMouseButtons] = {};
Int2 GLManager::mousePosition{0, 0};
Int2 GLManager::mousePosition2D{0, 0};
std::vector<MouseEvent> GLManager::mouseEvents;
bool GLManager::isFullscreenMode = false;
int64_t GLManager::lastStamp = 0;
int64_t GLManager::periodDuration = 0;

namespace {

// freeglut keeps pointers into the argument vector it was given.
std::string glutProgramName;
char* glutArguments[2] = {nullptr, nullptr};
bool isGlutInitialised = false;

void onKeyDown(unsigned char key, int, int) { GLManager::getKeyboardManager()->keyDown(key); }
void onKeyUp(unsigned char key, int, int) { GLManager::getKeyboardManager()->keyUp(key); }
void onSpecialKeyDown(int key, int, int) { GLManager::getKeyboardManager()->specialKeyDown(key); }
void onSpecialKeyUp(int key, int, int) { GLManager::getKeyboardManager()->specialKeyUp(key); }

// The main loop draws and swaps on its own; the window system only has to find a callback.
void onDisplay() {}

}  // namespace

void GLManager::initialise(const std::string& programName, const std::string& title, int width,
                           int height, bool fullscreen, bool isMultisampled) {
  for (bool& button : mouseButtons) button = false;

  // freeglut refuses a second initialisation in one process (a device manager created again
  // after destroyInstance); the window system stays initialised for the process.
  if (!isGlutInitialised) {
    glutProgramName = programName;
    glutArguments[0] = &glutProgramName[0];
    int argumentCount = 1;
    glutInit(&argumentCount, glutArguments);
    isGlutInitialised = true;
  }
  createWindow(title, width, height, isMultisampled);

  scene3D.reset(new Scene3D());

  keyboardManager.reset(new KeyboardManager());
  glutKeyboardFunc(onKeyDown);
  glutKeyboardUpFunc(onKeyUp);
  glutSpecialFunc(onSpecialKeyDown);
  glutSpecialUpFunc(onSpecialKeyUp);

  spriteManager.reset(new SpriteManager("whiteTexture.png"));

  scene2D.reset(new Scene2D());
  scene2D->apply2DState();

  scene2D->windowSize = windowSize;
  scene2D->size2D = windowSize;
  scene2D->applyProjection();

  if (fullscreen) {
    glutFullScreen();
    isFullscreenMode = true;
  }
}

void GLManager::createWindow(const std::string& title, int width, int height, bool isMultisampled) {
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_ALPHA | GLUT_DEPTH |
                      (isMultisampled ? GLUT_MULTISAMPLE : 0));
  glutInitWindowSize(width, height);
  windowSize = Int2(width, height);
  glutCreateWindow(title.c_str());
  glutDisplayFunc(onDisplay);
  // A held key must answer "pressed once" once, so auto-repeat comes as presses alone.
  PlatformWindow::makeKeyRepeatDetectable();

  // GLEW takes the extension entry points of the new context; the vertex buffers below need
  // them already.
  const GLenum glewResult = glewInit();
  assert(glewResult == GLEW_OK,
         std::string(reinterpret_cast<const char*>(glewGetErrorString(glewResult))));

  glutMouseFunc(mouseButton);
  glutMotionFunc(mouseMotion);
  glutPassiveMotionFunc(mousePassiveMotion);

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_FOG);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.1f);
  glPolygonMode(GL_BACK, GL_POINT);
  glEnable(GL_POINT_SMOOTH);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_CULL_FACE);

  {
    AtomicFileWriter extensionsFile("extensions.txt");
    const GLubyte* extensions = glGetString(GL_EXTENSIONS);
    const std::string text = std::string("supported:") +
                             (extensions != nullptr ? reinterpret_cast<const char*>(extensions) : "") + " :";
    extensionsFile.write(text.data(), text.size());
    if (!extensionsFile.commit()) showProblem("Cannot write the file 'extensions.txt': " + extensionsFile.getProblem());
  }

  glEnable(GL_MULTISAMPLE);

  // Multisampled pixel formats are chosen through GLX_ARB_multisample on this window system.
  if (!GLXEW_ARB_multisample) showProblem("extension not available");

  // Polygon smoothing only where it smooths: multisampling makes the renderer ignore it, and a
  // renderer that does not smooth leaves it without effect but for keeping every opaque draw
  // blended (Scene3D::beginOpaqueDraw cannot tell coverage alpha from none).
  GLint sampleBuffers = 0;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  if (sampleBuffers == 0 && isPolygonSmoothingEffective())
    glEnable(GL_POLYGON_SMOOTH);
  else
    glDisable(GL_POLYGON_SMOOTH);

  VBO::initVBO();

  glutReshapeWindow(width, height);
}

bool GLManager::isPolygonSmoothingEffective() {
  // Without off-screen buffers nothing can be tried: smoothing is kept, as it always was.
  if (!GLEW_EXT_framebuffer_object) return true;
  constexpr int edge = 16;
  GLint previousFramebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previousFramebuffer);
  GLuint framebuffer = 0, colour = 0;
  glGenFramebuffersEXT(1, &framebuffer);
  glGenRenderbuffersEXT(1, &colour);
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour);
  glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, edge, edge);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
  glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, colour);
  bool isEffective = true;
  if (glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT) {
    // One white triangle with slanted edges, smoothed, unblended: a smoothing renderer writes
    // the covered part of its edge pixels into their alpha.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, edge, edge);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_MULTISAMPLE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_POLYGON_SMOOTH);
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1.f, 1.f, 1.f, 1.f);
    glBegin(GL_TRIANGLES);
    glVertex2f(-0.83f, -0.71f);
    glVertex2f(0.77f, -0.29f);
    glVertex2f(-0.19f, 0.88f);
    glEnd();
    GLubyte pixels[edge * edge * 4];
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, edge, edge, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glPopClientAttrib();
    isEffective = false;
    for (int i = 3; i < edge * edge * 4; i += 4) isEffective = isEffective || (pixels[i] > 0 && pixels[i] < 255);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
  }
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(previousFramebuffer));
  glDeleteFramebuffersEXT(1, &framebuffer);
  glDeleteRenderbuffersEXT(1, &colour);
  return isEffective;
}

GLManager::~GLManager() {
  spriteManager.reset();
  scene2D.reset();
  scene3D.reset();
  keyboardManager.reset();
}

int GLManager::manageEvents() {
  const int width = glutGet(GLUT_WINDOW_WIDTH);
  const int height = glutGet(GLUT_WINDOW_HEIGHT);
  if (width != windowSize.x() || height != windowSize.y()) resize(width, height);

  keyboardManager->clearKeysPressedThisFrame();
  mouseEvents.clear();

  const int sleepMs = computeFrameSleepMs(Platform::getMicroseconds() - lastStamp);
  if (sleepMs > 0) {
    // The frame's drawing goes to the renderer before the wait, so that it is done during the
    // wait and not after it (a software renderer starts on a frame only once it is flushed).
    glFlush();
    Platform::sleepMs(sleepMs);
  }

  const int64_t swapStart = Platform::getMicroseconds();
  glutSwapBuffers();
  const int swapDuration = static_cast<int>(Platform::getMicroseconds() - swapStart);

  keyboardManager->beginEventPump();
  glutMainLoopEvent();
  keyboardManager->endEventPump();

  const int64_t now = Platform::getMicroseconds();
  periodDuration = capPeriodDuration(now - lastStamp);
  lastStamp = now;

  glColor4f(1.f, 1.f, 1.f, 1.f);
  glRasterPos2i(0, windowSize.y());
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  return swapDuration;
}

int GLManager::computeFrameSleepMs(int64_t elapsedMicroseconds) {
  if (elapsedMicroseconds >= minFrameDuration) return 0;
  if (elapsedMicroseconds < 0) return static_cast<int>(minFrameDuration / 1000);
  return static_cast<int>(minFrameDuration / 1000 - elapsedMicroseconds / 1000);
}

int64_t GLManager::capPeriodDuration(int64_t measuredMicroseconds) {
  return measuredMicroseconds > maxPeriodDuration ? maxPeriodDuration : measuredMicroseconds;
}

void GLManager::resize(int width, int height) {
  // A window shrunk to nothing (minimised) keeps the last usable size: the 2D projection and
  // the aspect ratio have no meaning for it.
  if (width <= 0 || height <= 0) return;
  std::cout << "Rescaling to (" << width << "," << height << ")" << std::endl;
  windowSize = Int2(width, height);
  glViewport(0, 0, width, height);
  glClear(GL_COLOR_BUFFER_BIT);
  glFlush();
  glutPostRedisplay();
  scene2D->resize(windowSize);
  scene3D->setAspectRatio(static_cast<float>(width) / static_cast<float>(height));
}

bool GLManager::isMouseButtonDown(int slot) {
  return slot >= 0 && slot < nbMouseButtons && mouseButtons[slot];
}

void GLManager::mouseButton(int button, int state, int x, int y) {
  mouseEvents.push_back(MouseEvent{x, y, button,
                                   state == GLUT_UP ? MouseEvent::buttonReleased
                                                    : MouseEvent::buttonPressed});
  const int slot = (button >= 0 && button < nbMouseButtons) ? button : 0;
  mouseButtons[slot] = (state == GLUT_DOWN);
}

void GLManager::mouseMotion(int x, int y) { motion(x, y, MouseEvent::motionWithButton); }

void GLManager::mousePassiveMotion(int x, int y) {
  motion(x, y, MouseEvent::motionWithoutButton);
}

void GLManager::motion(int x, int y, int kind) {
  mousePosition = Int2(x, y);
  mouseEvents.push_back(MouseEvent{x, y, -1, kind});
  mousePosition2D = scene2D ? scene2D->windowTo2D(mousePosition) : mousePosition;
}

// Full-screen and windowed modes are served by the window system alone: it changes no display
// settings, so the mode switch is a window placement.
void GLManager::setFullscreen(int width, int height) {
  std::cout << "Set to fullscreen mode " << width << "x" << height << std::endl;
  if (glutGetWindow() != 0) {
    std::cout << "Found window handle" << std::endl;
    glutPositionWindow(0, 0);
    glutReshapeWindow(width, height);
    glutFullScreen();
  }
  isFullscreenMode = true;
}

void GLManager::setWindowed(int width, int height) {
  std::cout << "Set to windowed mode " << width << "x" << height << std::endl;
  if (glutGetWindow() != 0) {
    std::cout << "Found window handle" << std::endl;
    glutLeaveFullScreen();
    glutPositionWindow(10, 10);
    glutReshapeWindow(width, height);
  }
}
