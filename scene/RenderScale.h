// The scene is drawn in scene units, 60 to the metre of the physics world.
#pragma once

// Scene units per world unit (metre).
const float renderScale = 60.0f;
