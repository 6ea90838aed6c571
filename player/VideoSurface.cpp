// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/VideoSurface.h"

#include "player/MpvLibrary.h"
#include "player/VideoArea.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <QPainter>

namespace
{

void *getProcAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context) return nullptr;
    return reinterpret_cast<void *>(context->getProcAddress(name));
}

} // namespace

VideoSurface::VideoSurface(mpv_handle *mpv, QWidget *parent) : QOpenGLWidget(parent), m_mpv(mpv) {}

VideoSurface::~VideoSurface()
{
    releaseRenderContext();
}

void VideoSurface::releaseRenderContext()
{
    disconnect(m_contextGone);
    if (!m_render) return;
    libmpv().mpv_render_context_set_update_callback(m_render, nullptr, nullptr);
    makeCurrent();
    libmpv().mpv_render_context_free(m_render);
    m_render = nullptr;
    doneCurrent();
}

void VideoSurface::initializeGL()
{
    if (m_render || !m_mpv) return;
    mpv_opengl_init_params glInit{&getProcAddress, nullptr};
    const char *api = MPV_RENDER_API_TYPE_OPENGL;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(api)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (libmpv().mpv_render_context_create(&m_render, m_mpv, params) < 0) {
        m_render = nullptr;
        emit renderFailed();
        return;
    }
    libmpv().mpv_render_context_set_update_callback(m_render, &VideoSurface::onRenderUpdate, this);
    // The GL context goes away before this widget when the window is torn
    // down: free the render context while it still exists.
    m_contextGone = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this,
                            &VideoSurface::releaseRenderContext, Qt::DirectConnection);
    emit renderReady();
}

void VideoSurface::setShowingVideo(bool on)
{
    if (on == m_showing) return;
    m_showing = on;
    update();
}

void VideoSurface::paintGL()
{
    if (!m_render || !m_showing) {
        QPainter painter(this);
        VideoArea::paintBackground(painter, rect());
        return;
    }
    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()),
                       static_cast<int>(width() * ratio), static_cast<int>(height() * ratio), 0};
    int flipY = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    libmpv().mpv_render_context_render(m_render, params);
}

// Runs on an mpv thread: only hand the work to the GUI thread.
void VideoSurface::onRenderUpdate(void *self)
{
    QMetaObject::invokeMethod(static_cast<VideoSurface *>(self), "renderUpdate",
                              Qt::QueuedConnection);
}

void VideoSurface::renderUpdate()
{
    if (m_render && (libmpv().mpv_render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME))
        update();
}
