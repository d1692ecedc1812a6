// The ten D3DX 9 entry points the back-end uses, resolved by name from
// d3dx9_43.dll at run time. The types are declared here from the library's
// published signatures; D3DMATRIX and D3DVECTOR have the layout of D3DX's
// matrix and 3-vector.
#pragma once

#include <d3d9.h>

namespace vyr::test {

// ID3DXFont, as far as the back-end calls it; the vtable order is the library's.
struct D3DXFont : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescA(void* desc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescW(void* desc) = 0;
    virtual BOOL STDMETHODCALLTYPE GetTextMetricsA(TEXTMETRICA* metrics) = 0;
    virtual BOOL STDMETHODCALLTYPE GetTextMetricsW(TEXTMETRICW* metrics) = 0;
    virtual HDC STDMETHODCALLTYPE GetDC() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGlyphData(UINT glyph, IDirect3DTexture9** texture, RECT* box,
                                                   POINT* cellInc) = 0;
    virtual HRESULT STDMETHODCALLTYPE PreloadCharacters(UINT first, UINT last) = 0;
    virtual HRESULT STDMETHODCALLTYPE PreloadGlyphs(UINT first, UINT last) = 0;
    virtual HRESULT STDMETHODCALLTYPE PreloadTextA(const char* text, INT count) = 0;
    virtual HRESULT STDMETHODCALLTYPE PreloadTextW(const WCHAR* text, INT count) = 0;
    virtual INT STDMETHODCALLTYPE DrawTextA(void* sprite, const char* text, INT count, RECT* rect, DWORD format,
                                            D3DCOLOR colour) = 0;
    virtual INT STDMETHODCALLTYPE DrawTextW(void* sprite, const WCHAR* text, INT count, RECT* rect,
                                            DWORD format, D3DCOLOR colour) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnLostDevice() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnResetDevice() = 0;
};

using D3DXMatrixMultiplyFunction = D3DMATRIX*(WINAPI*)(D3DMATRIX* out, const D3DMATRIX* m1, const D3DMATRIX* m2);
using D3DXVec3NormalizeFunction = D3DVECTOR*(WINAPI*)(D3DVECTOR* out, const D3DVECTOR* v);
using D3DXMatrixOrthoLHFunction = D3DMATRIX*(WINAPI*)(D3DMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
using D3DXMatrixPerspectiveFovLHFunction = D3DMATRIX*(WINAPI*)(D3DMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn,
                                                               FLOAT zf);
using D3DXMatrixLookAtLHFunction = D3DMATRIX*(WINAPI*)(D3DMATRIX* out, const D3DVECTOR* eye, const D3DVECTOR* at,
                                                       const D3DVECTOR* up);
using D3DXMatrixRotationYFunction = D3DMATRIX*(WINAPI*)(D3DMATRIX* out, FLOAT angle);
using D3DXMatrixScalingFunction = D3DMATRIX*(WINAPI*)(D3DMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz);
using D3DXMatrixTranslationFunction = D3DMATRIX*(WINAPI*)(D3DMATRIX* out, FLOAT x, FLOAT y, FLOAT z);
using D3DXCreateTextureFunction = HRESULT(WINAPI*)(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels,
                                                   DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                   IDirect3DTexture9** texture);
using D3DXCreateFontAFunction = HRESULT(WINAPI*)(IDirect3DDevice9* device, INT height, UINT width, UINT weight,
                                                 UINT mipLevels, BOOL italic, DWORD charSet, DWORD outputPrecision,
                                                 DWORD quality, DWORD pitchAndFamily, const char* faceName,
                                                 D3DXFont** font);

// Process-wide; filled by loadD3DX, in the order of the names below.
struct D3DXFunctions {
    D3DXMatrixMultiplyFunction matrixMultiply = nullptr;
    D3DXVec3NormalizeFunction vec3Normalize = nullptr;
    D3DXMatrixOrthoLHFunction matrixOrthoLH = nullptr;
    D3DXMatrixPerspectiveFovLHFunction matrixPerspectiveFovLH = nullptr;
    D3DXMatrixLookAtLHFunction matrixLookAtLH = nullptr;
    D3DXMatrixRotationYFunction matrixRotationY = nullptr;
    D3DXMatrixScalingFunction matrixScaling = nullptr;
    D3DXMatrixTranslationFunction matrixTranslation = nullptr;
    D3DXCreateTextureFunction createTexture = nullptr;
    D3DXCreateFontAFunction createFontA = nullptr;
};

extern D3DXFunctions d3dx;
extern const char* const d3dxLibraryName;
extern const char* const d3dxExportNames[10];

// Loads the library once and resolves the ten exports; a failed load is retried
// on the next call. A missing export is left null.
bool loadD3DX();
// True when all ten entries were found: nothing may be called through a null one.
bool d3dxComplete();

// Matrix helpers over the table: identity, and the running product a x b.
D3DMATRIX identityMatrix();
D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b);

}  // namespace vyr::test
