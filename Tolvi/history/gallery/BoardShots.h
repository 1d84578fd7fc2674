#pragma once

namespace tolvi {

class TolviTheme;

namespace gallery {
class GalleryCamera;
}

// Opens the history window over a small history of its own, shows the board sheet in its main
// states (several boards with an unsaved name, a refusal, a change being saved, the removal and
// discard questions) and saves them through the camera as history-boards-<state>-<theme>.png.
void photographBoardSheet(gallery::GalleryCamera& camera, TolviTheme& theme);

} // namespace tolvi
