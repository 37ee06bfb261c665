// Debug view of the soft body: a red point per particle, a white line per
// spring, in scene units. With damage on, yielded springs are orange and
// broken ones are left out.
#pragma once

class PhysicsWorld;
class Renderer;

void drawMassSpringPass(Renderer* renderer, PhysicsWorld* world);
