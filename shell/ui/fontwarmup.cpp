#include "fontwarmup.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

#ifdef EMLO_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace emlo {

FontWarmUp::FontWarmUp() : FontWarmUp([] { QFontDatabase::families(); }) { }

FontWarmUp::FontWarmUp(std::function<void()> listFonts)
{
    m_thread =
        std::thread([this, listFonts = std::move(listFonts), application = m_application.get_future()]() mutable {
#ifdef EMLO_FONTCONFIG
            // Fontconfig initialises once per process, safely from any thread;
            // the toolkit's own initialisation then finds it done.
            FcInit();
#endif
            const std::optional<QList<QFont>> fonts = application.get();
            if (fonts)
                listFonts();  // the first call lists the fonts
            m_listed.set_value();
            if (!fonts)
                return;
            // Latin, Cyrillic and digits, as the window's texts have them.
            for (const QFont& font : *fonts)
                QFontMetrics(font).horizontalAdvance(QStringLiteral("Abc Реквізити 0123"));
        });
}

FontWarmUp::~FontWarmUp()
{
    finish();
}

void FontWarmUp::applicationReady(const QList<QFont>& fonts)
{
    release(fonts);
}

void FontWarmUp::waitForFontList()
{
    // Without the application no font list is made.
    release(std::nullopt);
    m_listedFuture.wait();
}

void FontWarmUp::finish()
{
    release(std::nullopt);
    if (m_thread.joinable())
        m_thread.join();
}

void FontWarmUp::release(std::optional<QList<QFont>> fonts)
{
    if (m_released)
        return;
    m_released = true;
    m_application.set_value(std::move(fonts));
}

}  // namespace emlo
