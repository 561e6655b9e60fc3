// Picking in OpenGL selection mode: every live element is drawn once under a
// name equal to its position in the mesh's array, the pick matrix narrows the
// view to a window rectangle, and the hits come back sorted near to far.
//
// Preconditions: a current OpenGL context in render mode GL_RENDER, with the
// projection and modelview of the drawing. Afterwards the render mode is
// GL_RENDER, the matrix mode GL_MODELVIEW and both matrix stacks are as they
// were.
#pragma once

#include <vector>

#include "core/mesh.h"

namespace quarnel {

// The live faces inside the window rectangle of the given size centred on
// (x, y) (origin lower left), nearest first; equal depths by array position.
// `out` is replaced; returns its size. A face hidden behind another is still
// reported, after it.
template <class MeshT>
int PickFacesInRect(int x, int y, MeshT& mesh, std::vector<typename MeshT::FaceType*>& out,
                    int width, int height);

// The same for the live vertices, each drawn as a point.
template <class MeshT>
int PickVerticesInRect(int x, int y, MeshT& mesh, std::vector<typename MeshT::VertexType*>& out,
                       int width, int height);

}  // namespace quarnel
