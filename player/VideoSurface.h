// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QOpenGLWidget>

struct mpv_handle;
struct mpv_render_context;

// Shows libmpv's video through its OpenGL render API. The render context is
// created once the widget's GL context exists (initializeGL); until then a
// file with video must not be loaded with video enabled.
class VideoSurface : public QOpenGLWidget
{
    Q_OBJECT

public:
    // mpv is not owned; it must outlive the render context (the owner calls
    // releaseRenderContext() before destroying the handle).
    explicit VideoSurface(mpv_handle *mpv, QWidget *parent = nullptr);
    ~VideoSurface() override;

    bool hasRenderContext() const { return m_render != nullptr; }
    // Whether a picture of the engine is shown; otherwise the surface shows
    // the picture area's calm background (it is always there, so that its
    // GL context exists before the first medium loads).
    void setShowingVideo(bool on);
    // Clears the update callback and frees the render context with the GL
    // context current. Safe to call more than once.
    void releaseRenderContext();

signals:
    // The render context exists: video can be loaded now.
    void renderReady();
    // The render context could not be created: the owner plays audio only.
    void renderFailed();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    static void onRenderUpdate(void *self);
    Q_INVOKABLE void renderUpdate();

    mpv_handle *m_mpv = nullptr;
    mpv_render_context *m_render = nullptr;
    bool m_showing = false;
    QMetaObject::Connection m_contextGone;
};
