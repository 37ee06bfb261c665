/* make3ds: turns a small OBJ file (v, vt, f and o lines only) into a 3DS file
 * through lib3ds, one lib3ds mesh per "o" group. A vertex takes the vt of the
 * same number; a group gets texture coordinates only when every one of its
 * vertices has a vt. With -lights, a camera and a
 * light are added after the meshes (named objects without triangles).
 * Build: cc make3ds.c -o make3ds -l3ds
 * Use:   make3ds in.obj out.3ds [-lights] */
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_ITEMS 1024

static float points[MAX_ITEMS][3];
static float texels[MAX_ITEMS][2];
static int faces[MAX_ITEMS][3];
static int pointCount, texelCount, faceCount;

/* Emits the current group (vertices first..pointCount-1) as one mesh. */
static void emit(Lib3dsFile* file, const char* name, int firstPoint, int firstFace) {
    int n = pointCount - firstPoint, m = faceCount - firstFace, k;
    Lib3dsMesh* mesh;
    if (n <= 0) {
        return;
    }
    mesh = lib3ds_mesh_new(name);
    lib3ds_matrix_identity(mesh->matrix);
    lib3ds_mesh_new_point_list(mesh, n);
    for (k = 0; k < n; ++k) {
        memcpy(mesh->pointL[k].pos, points[firstPoint + k], sizeof(float) * 3);
    }
    if (texelCount >= pointCount) {
        lib3ds_mesh_new_texel_list(mesh, n);
        for (k = 0; k < n; ++k) {
            mesh->texelL[k][0] = texels[firstPoint + k][0];
            mesh->texelL[k][1] = texels[firstPoint + k][1];
        }
    }
    lib3ds_mesh_new_face_list(mesh, m);
    for (k = 0; k < m; ++k) {
        int c;
        for (c = 0; c < 3; ++c) {
            mesh->faceL[k].points[c] = (Lib3dsWord)(faces[firstFace + k][c] - firstPoint);
        }
        mesh->faceL[k].flags = LIB3DS_FACE_FLAG_VIS_AC | LIB3DS_FACE_FLAG_VIS_BC |
                               LIB3DS_FACE_FLAG_VIS_AB;
        mesh->faceL[k].smoothing = 1;
    }
    lib3ds_file_insert_mesh(file, mesh);
}

int main(int argc, char** argv) {
    char line[256], name[64] = "object";
    int firstPoint = 0, firstFace = 0;
    FILE* in;
    Lib3dsFile* file;
    if (argc < 3) {
        fprintf(stderr, "usage: make3ds in.obj out.3ds [-lights]\n");
        return 2;
    }
    in = fopen(argv[1], "r");
    if (in == NULL) {
        perror(argv[1]);
        return 1;
    }
    file = lib3ds_file_new();
    while (fgets(line, sizeof(line), in) != NULL) {
        if (strncmp(line, "v ", 2) == 0 && pointCount < MAX_ITEMS) {
            sscanf(line + 2, "%f %f %f", &points[pointCount][0], &points[pointCount][1],
                   &points[pointCount][2]);
            ++pointCount;
        } else if (strncmp(line, "vt ", 3) == 0 && texelCount < MAX_ITEMS) {
            sscanf(line + 3, "%f %f", &texels[texelCount][0], &texels[texelCount][1]);
            ++texelCount;
        } else if (strncmp(line, "f ", 2) == 0 && faceCount < MAX_ITEMS) {
            /* "f a b c" or "f a/t b/t c/t": the vertex numbers only, 1-based. */
            int a, b, c;
            char* p = line + 2;
            a = (int)strtol(p, &p, 10);
            while (*p != '\0' && *p != ' ') ++p;
            b = (int)strtol(p, &p, 10);
            while (*p != '\0' && *p != ' ') ++p;
            c = (int)strtol(p, &p, 10);
            faces[faceCount][0] = a - 1;
            faces[faceCount][1] = b - 1;
            faces[faceCount][2] = c - 1;
            ++faceCount;
        } else if (strncmp(line, "o ", 2) == 0) {
            emit(file, name, firstPoint, firstFace);
            firstPoint = pointCount;
            firstFace = faceCount;
            sscanf(line + 2, "%63s", name);
        }
    }
    fclose(in);
    emit(file, name, firstPoint, firstFace);
    if (argc > 3 && strcmp(argv[3], "-lights") == 0) {
        Lib3dsCamera* camera = lib3ds_camera_new("camera");
        Lib3dsLight* light = lib3ds_light_new("lamp");
        camera->position[0] = 10.0f;
        camera->fov = 45.0f;
        camera->near_range = 1.0f;
        camera->far_range = 1000.0f;
        light->position[2] = 10.0f;
        light->color[0] = light->color[1] = light->color[2] = 1.0f;
        lib3ds_file_insert_camera(file, camera);
        lib3ds_file_insert_light(file, light);
    }
    if (!lib3ds_file_save(file, argv[2])) {
        fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    lib3ds_file_free(file);
    return 0;
}
