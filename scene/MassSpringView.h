// Debug view of the soft body: a red point per particle, a white line per
// spring, in scene units.
#pragma once

class PhysicsWorld;
class Renderer;

void drawMassSpringPass(Renderer* renderer, PhysicsWorld* world);
