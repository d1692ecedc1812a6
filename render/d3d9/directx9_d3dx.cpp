#include "render/d3d9/directx9_d3dx.h"

#include <windows.h>

namespace vyr::test {

D3DXFunctions d3dx;
const char* const d3dxLibraryName = "d3dx9_43.dll";
const char* const d3dxExportNames[10] = {
    "D3DXMatrixMultiply",    "D3DXVec3Normalize",   "D3DXMatrixOrthoLH", "D3DXMatrixPerspectiveFovLH",
    "D3DXMatrixLookAtLH",    "D3DXMatrixRotationY", "D3DXMatrixScaling", "D3DXMatrixTranslation",
    "D3DXCreateTexture",     "D3DXCreateFontA"};

namespace {

bool d3dxLoaded = false;

template <typename F>
void resolve(HMODULE library, int index, F& entry) {
    entry = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, d3dxExportNames[index])));
}

}  // namespace

bool loadD3DX() {
    if (d3dxLoaded) return true;
    HMODULE library = LoadLibraryA(d3dxLibraryName);
    if (!library) return false;
    resolve(library, 0, d3dx.matrixMultiply);
    resolve(library, 1, d3dx.vec3Normalize);
    resolve(library, 2, d3dx.matrixOrthoLH);
    resolve(library, 3, d3dx.matrixPerspectiveFovLH);
    resolve(library, 4, d3dx.matrixLookAtLH);
    resolve(library, 5, d3dx.matrixRotationY);
    resolve(library, 6, d3dx.matrixScaling);
    resolve(library, 7, d3dx.matrixTranslation);
    resolve(library, 8, d3dx.createTexture);
    resolve(library, 9, d3dx.createFontA);
    d3dxLoaded = true;
    return true;
}

bool d3dxComplete() {
    return d3dx.matrixMultiply && d3dx.vec3Normalize && d3dx.matrixOrthoLH && d3dx.matrixPerspectiveFovLH &&
           d3dx.matrixLookAtLH && d3dx.matrixRotationY && d3dx.matrixScaling && d3dx.matrixTranslation &&
           d3dx.createTexture && d3dx.createFontA;
}

D3DMATRIX identityMatrix() {
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX out;
    d3dx.matrixMultiply(&out, &a, &b);
    return out;
}

}  // namespace vyr::test
